// Diagnostics: the speed benchmark, the test call and the crash test.
#include "exports/conventions.h"
#include "platform/platform.h"

namespace {

// Read once per call so the compiler cannot work the loop out ahead of time.
volatile std::uint32_t speedPasses = 10000001;

}  // namespace

CORVO_API std::uint32_t cs_CalculateSpeed(std::uint32_t* sumInt, double* sumReal) {
    std::uint32_t const start = corvo::platform::tickCount();
    std::uint32_t const passes = speedPasses;
    std::uint32_t integerSum = 0;
    double realSum = 0.0;
    for (std::uint32_t i = 0; i < passes; ++i) {
        std::uint32_t const square = i * i;  // low 32 bits of the product
        integerSum += square;
        integerSum += 1;
        realSum += static_cast<double>(static_cast<std::int32_t>(square));
        realSum += 1.0;
    }
    if (sumInt != nullptr) {
        *sumInt = integerSum;
    }
    if (sumReal != nullptr) {
        *sumReal = realSum;
    }
    return corvo::platform::tickCount() - start;
}

#ifndef _WIN32
// One function, two names (the Windows build aliases them in the .def file).
CORVO_API std::uint32_t ea_CalculateSpeed(std::uint32_t* sumInt, double* sumReal)
    __attribute__((alias("cs_CalculateSpeed")));
#endif

CORVO_API std::int32_t cs_Test() {
    return corvo::exports::guarded(std::int32_t{0}, [] {
        corvo::trace::text("fnTest");
        return std::int32_t{6};
    });
}

#ifndef _WIN32
CORVO_API std::int32_t ea_Test() __attribute__((alias("cs_Test")));
#endif

CORVO_API void ea_CrashTest(std::int32_t* target) {
    if (target != nullptr) {
        *target = 0;
    }
}
