#include "core/config_file.h"
#include "core/router.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>
#include <unistd.h>

using namespace corvane;

namespace {

// 500 rules cycling through the three kinds, none matching "nomatch.test".
Configuration manyRules()
{
    Configuration config;
    for (int i = 0; i < Configuration::maxRules; ++i) {
        const std::string host = "host" + std::to_string(i) + ".example.com";
        switch (i % 3) {
        case 0:
            config.rules.push_back(Rule::make(MatchKind::domain, host, "Work"));
            break;
        case 1:
            config.rules.push_back(Rule::make(MatchKind::exactHost, "www." + host, "Personal"));
            break;
        default:
            config.rules.push_back(Rule::make(MatchKind::urlPrefix, "https://" + host + "/docs", "Research"));
            break;
        }
    }
    return config;
}

void RouterDecideLastRule(benchmark::State& state)
{
    const Configuration config = manyRules();
    const Url url = Router::webURL("https://host499.example.com/docs/page");
    for (auto _ : state)
        benchmark::DoNotOptimize(Router::decide(url, config));
}
BENCHMARK(RouterDecideLastRule);

void RouterDecideNoMatch(benchmark::State& state)
{
    const Configuration config = manyRules();
    const Url url = Router::webURL("https://nomatch.test/page");
    for (auto _ : state)
        benchmark::DoNotOptimize(Router::decide(url, config));
}
BENCHMARK(RouterDecideNoMatch);

void RouterIncomingLongLink(benchmark::State& state)
{
    std::string link = "https://example.com/?q=";
    link.append(32768 - link.size(), 'a');
    for (auto _ : state)
        benchmark::DoNotOptimize(Router::incoming(link));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(link.size()));
}
BENCHMARK(RouterIncomingLongLink);

void ConfigFileLoad500(benchmark::State& state)
{
    const auto dir = std::filesystem::temp_directory_path() / ("corvane-bench-" + std::to_string(::getpid()));
    const auto file = dir / "settings.json";
    ConfigFile::save(manyRules(), file);
    for (auto _ : state)
        benchmark::DoNotOptimize(ConfigFile::load(file));
    std::filesystem::remove_all(dir);
}
BENCHMARK(ConfigFileLoad500);

} // namespace
