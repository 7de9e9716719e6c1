#include "core/unwrap.h"

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

using namespace corvane;

namespace {

// What every received link pays before routing: a mix of wrapped links,
// trackers and plain links, as a mail-heavy day brings them.
std::vector<Url> mixedBatch()
{
    const char* links[] = {
        "https://www.google.com/url?sa=t&q=https%3A%2F%2Fexample.com%2Fdocs%3Fid%3D7&usg=AOv",
        "https://eur01.safelinks.protection.outlook.com/?url=https%3A%2F%2Fexample.org%2Fa&data=05%7C01",
        "https://l.facebook.com/l.php?u=https%3A%2F%2Fnews.example%2Fstory&h=AT0",
        "https://slack-redir.net/link?url=https%3A%2F%2Fexample.net%2F",
        "https://l.instagram.com/?u=https%3A%2F%2Fshop.example%2F&e=AT1",
        "https://click.mailer.example.com/ls/click?upn=abc",
        "https://bit.ly/3xYzAbc",
        "https://us5.list-manage.com/track/click?u=1&id=2",
        "https://github.com/corvane/corvane/pull/42",
        "https://docs.example.com/guide/install?lang=en#linux",
        "https://www.google.com/search?q=corvane",
        "https://mail.example.com/",
    };
    std::vector<Url> batch;
    for (const char* link : links)
        batch.push_back(*Url::parse(link));
    return batch;
}

void UnwrapFromParameterMixed(benchmark::State& state)
{
    const std::vector<Url> batch = mixedBatch();
    for (auto _ : state) {
        for (const Url& url : batch)
            benchmark::DoNotOptimize(Unwrap::fromParameter(url));
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * batch.size()));
}
BENCHMARK(UnwrapFromParameterMixed);

void UnwrapShouldFollowMixed(benchmark::State& state)
{
    const std::vector<Url> batch = mixedBatch();
    for (auto _ : state) {
        for (const Url& url : batch)
            benchmark::DoNotOptimize(Unwrap::shouldFollow(url));
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * batch.size()));
}
BENCHMARK(UnwrapShouldFollowMixed);

} // namespace
