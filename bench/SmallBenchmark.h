#pragma once

// The part of Google Benchmark's interface the window's benchmarks use, for
// a build that has no Google Benchmark (the Windows cross build: Debian has
// it for the build machine only). Each benchmark runs with 1, then more
// iterations until a run lasts the minimum time (or as often as it asks),
// and the last run is reported as wall-clock time per iteration.
// Options: --benchmark_filter=REGEX, --benchmark_min_time=SECONDS.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <regex>
#include <string>
#include <utility>
#include <vector>

namespace benchmark {

enum TimeUnit { kNanosecond, kMicrosecond, kMillisecond, kSecond };

template <class T>
inline void DoNotOptimize(const T& value)
{
    asm volatile("" : : "r,m"(value) : "memory");
}

class State {
    using Clock = std::chrono::steady_clock;

public:
    // What the loop variable holds: nothing, and never a warning for it.
    struct __attribute__((unused)) Value {};
    class Iterator {
    public:
        Iterator() = default;
        Iterator(State* state, std::int64_t left) : state_(state), left_(left) {}
        Value operator*() const { return {}; }
        Iterator& operator++()
        {
            --left_;
            return *this;
        }
        bool operator!=(const Iterator&)
        {
            if (left_ > 0) {
                return true;
            }
            state_->Stop();
            return false;
        }

    private:
        State* state_ = nullptr;
        std::int64_t left_ = 0;
    };

    explicit State(std::int64_t iterations) : iterations_(iterations) {}

    Iterator begin()
    {
        started_ = Clock::now();
        running_ = true;
        return Iterator(this, iterations_);
    }
    Iterator end() { return {}; }
    void PauseTiming()
    {
        if (running_) {
            elapsed_ += Clock::now() - started_;
            running_ = false;
        }
    }
    void ResumeTiming()
    {
        if (!running_) {
            started_ = Clock::now();
            running_ = true;
        }
    }
    void SkipWithError(const char* message) { error_ = message; }

    std::int64_t iterations() const { return iterations_; }
    double Seconds() const { return std::chrono::duration<double>(elapsed_).count(); }
    const std::string& Error() const { return error_; }

    std::map<std::string, double> counters;

private:
    void Stop() { PauseTiming(); }

    std::int64_t iterations_;
    Clock::time_point started_;
    Clock::duration elapsed_{};
    bool running_ = false;
    std::string error_;
};

class Benchmark {
public:
    Benchmark(std::string name, void (*function)(State&)) : name_(std::move(name)), function_(function) {}
    Benchmark* Unit(TimeUnit unit)
    {
        unit_ = unit;
        return this;
    }
    Benchmark* Iterations(std::int64_t iterations)
    {
        iterations_ = iterations;
        return this;
    }

    const std::string& Name() const { return name_; }

    void Run(double minSeconds) const
    {
        std::int64_t count = iterations_ > 0 ? iterations_ : 1;
        for (;;) {
            State state(count);
            function_(state);
            const bool enough = iterations_ > 0 || state.Seconds() >= minSeconds || !state.Error().empty() ||
                                count >= kMostIterations;
            if (enough) {
                Report(state);
                return;
            }
            // As Google Benchmark grows a run: towards the minimum time, at most tenfold.
            const double factor = state.Seconds() > 0 ? minSeconds * 1.4 / state.Seconds() : 10.0;
            const auto next = static_cast<std::int64_t>(static_cast<double>(count) * std::min(10.0, factor));
            count = std::max(count + 1, next);
        }
    }

private:
    static constexpr std::int64_t kMostIterations = 1000000000;

    void Report(const State& state) const
    {
        if (!state.Error().empty()) {
            std::printf("%-30s ERROR OCCURRED: '%s'\n", name_.c_str(), state.Error().c_str());
            return;
        }
        static const char* const units[] = {"ns", "us", "ms", "s"};
        static const double scale[] = {1e9, 1e6, 1e3, 1.0};
        const double each = state.Seconds() / static_cast<double>(state.iterations()) * scale[unit_];
        std::printf("%-30s %10.3f %s %10lld", name_.c_str(), each, units[unit_],
                    static_cast<long long>(state.iterations()));
        for (const auto& [counter, value] : state.counters) {
            std::printf(" %s=%g", counter.c_str(), value);
        }
        std::printf("\n");
        std::fflush(stdout);
    }

    std::string name_;
    void (*function_)(State&);
    TimeUnit unit_ = kNanosecond;
    std::int64_t iterations_ = 0;
};

namespace internal {

inline std::vector<std::unique_ptr<Benchmark>>& Registered()
{
    static std::vector<std::unique_ptr<Benchmark>> benchmarks;
    return benchmarks;
}

inline Benchmark* Register(const char* name, void (*function)(State&))
{
    Registered().push_back(std::make_unique<Benchmark>(name, function));
    return Registered().back().get();
}

struct Options {
    std::string filter = ".";
    double minSeconds = 0.5;
};

inline Options& Given()
{
    static Options options;
    return options;
}

}  // namespace internal

inline void Initialize(int* argc, char** argv)
{
    int kept = 1;
    for (int i = 1; i < *argc; ++i) {
        const std::string argument = argv[i];
        if (argument.rfind("--benchmark_filter=", 0) == 0) {
            internal::Given().filter = argument.substr(std::strlen("--benchmark_filter="));
        } else if (argument.rfind("--benchmark_min_time=", 0) == 0) {
            internal::Given().minSeconds = std::stod(argument.substr(std::strlen("--benchmark_min_time=")));
        } else {
            argv[kept++] = argv[i];
        }
    }
    *argc = kept;
}

inline void RunSpecifiedBenchmarks()
{
    const std::regex filter(internal::Given().filter);
    std::printf("%-30s %13s %10s\n", "Benchmark", "Time (wall)", "Iterations");
    for (const auto& benchmark : internal::Registered()) {
        if (std::regex_search(benchmark->Name(), filter)) {
            benchmark->Run(internal::Given().minSeconds);
        }
    }
}

inline void Shutdown() {}

}  // namespace benchmark

#define SONDERIK_BENCHMARK_JOIN2(a, b) a##b
#define SONDERIK_BENCHMARK_JOIN(a, b) SONDERIK_BENCHMARK_JOIN2(a, b)
#define BENCHMARK(function)                                                               \
    [[maybe_unused]] static ::benchmark::Benchmark* const SONDERIK_BENCHMARK_JOIN(        \
        registered_benchmark_, __LINE__) = ::benchmark::internal::Register(#function, function)
