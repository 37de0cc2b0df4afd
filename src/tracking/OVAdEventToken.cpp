#include "tracking/OVAdEventToken.h"

#include <cctype>
#include <utility>

#include "platform/foundation/UUID.h"
#include "util/database/OVAdDatabaseColumns.h"

namespace plexora {
namespace {

constexpr std::size_t kUUIDLength = 36;

bool isHyphenPosition(std::size_t index) { return index == 8 || index == 13 || index == 18 || index == 23; }

}  // namespace

std::optional<std::string> OVAdCanonicalUUIDString(std::string_view text) {
  if (text.size() != kUUIDLength) {
    return std::nullopt;
  }
  std::string canonical(text);
  for (std::size_t i = 0; i < canonical.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(canonical[i]);
    if (isHyphenPosition(i) ? c != '-' : !std::isxdigit(c)) {
      return std::nullopt;
    }
    canonical[i] = static_cast<char>(std::toupper(c));
  }
  return canonical;
}

OVAdEventToken::OVAdEventToken(std::string token)
    : OVAdEventToken(platform::makeUUIDString(), std::move(token)) {}

OVAdEventToken::OVAdEventToken(std::string tokenId, std::string token)
    : tokenId_(std::move(tokenId)), token_(std::move(token)) {}

std::optional<OVAdEventToken> OVAdEventToken::deserializeFromSqlite(sqlite3_stmt* statement) {
  std::optional<std::string> tokenId = OVAdColumnText(statement, 0);
  std::optional<std::string> token = OVAdColumnText(statement, 1);
  if (!tokenId || !token) {
    return std::nullopt;
  }
  std::optional<std::string> canonicalId = OVAdCanonicalUUIDString(*tokenId);
  return OVAdEventToken(canonicalId ? std::move(*canonicalId) : platform::makeUUIDString(), std::move(*token));
}

platform::Dictionary OVAdEventToken::payloadDictionary(const std::vector<OVAdEventToken>& tokens) {
  platform::Dictionary dictionary;
  for (const OVAdEventToken& token : tokens) {
    dictionary.set(token.tokenId_, token.token_);
  }
  return dictionary;
}

OVAdSQLStatement OVAdEventToken::insertStatement() const {
  return OVAdSQLStatement(kInsertStatement, {tokenId_, token_});
}

}  // namespace plexora
