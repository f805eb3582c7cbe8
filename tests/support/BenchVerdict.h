#pragma once
// How the benchmarks judge their figures. Each figure has a target, what the program reaches
// on a quiet machine, and a limit: what a loaded machine does not push it past, but the
// regression that the benchmark is there for does. Past its limit a figure fails; past its
// target only it is noted, and fails as well when QMR_BENCH_STRICT=1 asks for the targets
// (a quiet machine). A sanitizer build judges no figure, since its timings and memory say
// little: there only a failure that no load explains (Fail) fails.

#include "TestSupport.h"

#include <limits>
#include <string>

namespace qmrtest {

// True when QMR_BENCH_STRICT is 1.
bool BenchStrict();

// A target or limit that a figure does not have.
inline constexpr double kNoBound = std::numeric_limits<double>::quiet_NaN();

struct BenchFigure {
    std::string name;
    double value = 0;
    double target = kNoBound;
    double limit = kNoBound;
    const char* unit = "ms";
    int decimals = 3;
};

class BenchVerdict {
public:
    explicit BenchVerdict(bool strict = BenchStrict()) : strict_(strict) {}

    // Prints the figure with its target and limit and what became of it; false when it
    // failed. AtMost for a figure where less is better (a latency), AtLeast for one where
    // more is (a rate).
    bool AtMost(const BenchFigure& figure);
    bool AtLeast(const BenchFigure& figure);
    // A failure that no load explains (a reply lost): fails whatever the mode.
    void Fail(const std::string& why);

    bool Passed() const { return passed_; }
    int ExitCode() const { return passed_ ? 0 : 1; }

private:
    bool Judge(const BenchFigure& figure, const char* bound, bool pastTarget, bool pastLimit);

    bool strict_;
    bool passed_ = true;
};

} // namespace qmrtest
