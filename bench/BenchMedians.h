// The figures a benchmark program's reporter keeps for its closing lines: one
// value per run under a key of the program's choosing, and their median.
//
// Thread safety: none; the reporter calls it on the thread that runs the
// benchmarks.
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

namespace plexora::bench {

class BenchMedians {
 public:
  // Keeps `value` of a run that repeated its benchmark (an iteration run) or
  // of its "median" aggregate; other aggregates are not kept.
  void record(const benchmark::BenchmarkReporter::Run& run, const std::string& key, double value) {
    if (run.run_type == benchmark::BenchmarkReporter::Run::RT_Iteration) {
      values_[key].push_back(value);
    } else if (run.aggregate_name == "median") {
      medians_[key] = value;
    }
  }

  // The "median" aggregate when repetitions made one, else the median of the
  // values kept; 0 when there are none.
  double median(const std::string& key) const {
    if (const auto aggregate = medians_.find(key); aggregate != medians_.end()) {
      return aggregate->second;
    }
    const auto found = values_.find(key);
    if (found == values_.end() || found->second.empty()) {
      return 0;
    }
    std::vector<double> values = found->second;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
  }

 private:
  std::map<std::string, std::vector<double>> values_;
  std::map<std::string, double> medians_;
};

}  // namespace plexora::bench
