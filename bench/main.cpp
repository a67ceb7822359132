// The benchmark program: the usual Google Benchmark options, over one world set up before the first
// benchmark and released after the last. It fails when the setup fails or when a component object
// outlives the world, whichever side forgot to release it.
#include "pairs.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <exception>
#include <optional>

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 2;
    if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) {
        std::fputs("COM could not be initialised\n", stderr);
        return 1;
    }
    int status = 0;
    try {
        bench::World world;
        bench::RegisterPairs(world);
        benchmark::RunSpecifiedBenchmarks();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "setup failed: %s\n", e.what());
        status = 1;
    }
    if (const long left = collector::reference::Registration::LiveObjects(); left != 0) {
        std::fprintf(stderr, "%ld component objects outlived the benchmarks\n", left);
        status = 1;
    }
    benchmark::Shutdown();
    CoUninitialize();
    return status;
}
