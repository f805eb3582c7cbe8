#include "BenchVerdict.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace qmrtest {

bool BenchStrict()
{
    const char* strict = std::getenv("QMR_BENCH_STRICT");
    return strict != nullptr && std::strcmp(strict, "1") == 0;
}

bool BenchVerdict::AtMost(const BenchFigure& figure)
{
    return Judge(figure, "<=", figure.value > figure.target, figure.value > figure.limit);
}

bool BenchVerdict::AtLeast(const BenchFigure& figure)
{
    return Judge(figure, ">=", figure.value < figure.target, figure.value < figure.limit);
}

void BenchVerdict::Fail(const std::string& why)
{
    std::printf("FAIL: %s\n", why.c_str());
    std::fflush(stdout);
    passed_ = false;
}

bool BenchVerdict::Judge(const BenchFigure& figure, const char* bound, bool pastTarget, bool pastLimit)
{
    // A ratio has no unit ("").
    const std::string unit = *figure.unit != '\0' ? std::string(" ") + figure.unit : std::string();
    std::string bounds;
    char text[64];
    if (!std::isnan(figure.target)) {
        std::snprintf(text, sizeof text, "target %s %g%s", bound, figure.target, unit.c_str());
        bounds = text;
    }
    if (!std::isnan(figure.limit)) {
        std::snprintf(text, sizeof text, "%slimit %s %g%s", bounds.empty() ? "" : ", ", bound, figure.limit,
                      unit.c_str());
        bounds += text;
    }
    const char* outcome = "ok";
    bool failed = false;
    if (kSanitizerBuild) {
        outcome = "not judged (sanitizer build)";
    } else if (std::isnan(figure.value)) {
        outcome = "FAIL: no figure";
        failed = true;
    } else if (pastLimit) {
        outcome = "FAIL: past the limit";
        failed = true;
    } else if (pastTarget && strict_) {
        outcome = "FAIL: past the target (QMR_BENCH_STRICT=1)";
        failed = true;
    } else if (pastTarget) {
        outcome = std::isnan(figure.limit) ? "note: past the target" : "note: past the target, within the limit";
    }
    std::printf("%s: %.*f%s (%s): %s\n", figure.name.c_str(), figure.decimals, figure.value, unit.c_str(),
                bounds.c_str(), outcome);
    // Seen in order with what a failing bench prints to standard error.
    std::fflush(stdout);
    passed_ = passed_ && !failed;
    return !failed;
}

} // namespace qmrtest
