#include "platform/value/XmlNesting.h"

#include <gtest/gtest.h>

namespace plexora::platform {
namespace {

TEST(XmlNestingTest, CountsOnlyRealElements) {
  struct Case {
    const char* xml;
    bool withinTwo;
  };
  const Case cases[] = {
      {"<a><b>text</b></a>", true},
      {"<a><b><c/></b></a>", true},  // an empty element opens nothing
      {"<a><b><c></c></b></a>", false},
      {"<a></a><b><c></c></b>", true},  // siblings do not add up
      {"<?xml version=\"1.0\"?><a><b/></a>", true},
      {"<a><!-- <b><c><d> --></a>", true},
      {"<a><![CDATA[<b><c><d>]]></a>", true},
      {"<a x=\"<b><c>\" y='>'><b></b></a>", true},
      {"<!DOCTYPE a [ <!ENTITY e \"<b>\"> ]><a><b></b></a>", true},
      // Closing markup hidden in a comment must not lower the count.
      {"<a><b><!-- </b></a> --><c></c></b></a>", false},
      {"<a><b><c", true},  // unfinished: nothing more can open
      {"<a><!-- unterminated <b><c><d>", true},
      {"", true},
  };
  for (const Case& c : cases) EXPECT_EQ(xmlNestingWithin(c.xml, 2), c.withinTwo) << c.xml;
}

}  // namespace
}  // namespace plexora::platform
