#include <QCoreApplication>

#include <benchmark/benchmark.h>

// Benchmarks of Qt-based code need an application object for event loops and
// child processes.
int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::benchmark::Initialize(&argc, argv);
    ::benchmark::RunSpecifiedBenchmarks();
    ::benchmark::Shutdown();
    return 0;
}
