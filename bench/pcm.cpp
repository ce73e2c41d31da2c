// Costs of the level read-out helpers the 20 ms refresh calls, and of reading the settings file.
#include "core/PCM.h"
#include "app/Settings.h"

#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {

void BM_SampleToDBLabel(benchmark::State &state) {
    std::int32_t v = 1;
    for (auto _ : state) {
        benchmark::DoNotOptimize(SampleToDBLabel(v, 32768, 2));
        v = (v * 7 + 13) & 0xFFFF;
    }
}
BENCHMARK(BM_SampleToDBLabel);

void BM_SampleToDB(benchmark::State &state) {
    std::int32_t v = 1;
    for (auto _ : state) {
        benchmark::DoNotOptimize(SampleToDB(v, 32768));
        v = (v * 7 + 13) & 0xFFFF;
    }
}
BENCHMARK(BM_SampleToDB);

void BM_MsToBytes(benchmark::State &state) {
    TWaveFormatEx f;
    BuildPCMFormat(f, 16, 2, 44100);
    std::int32_t ms = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(MsToBytes(f, ms));
        ms = (ms + 17) & 0xFFFF;
    }
}
BENCHMARK(BM_MsToBytes);

void BM_ReadAllSettings(benchmark::State &state) {
    QTemporaryDir dir;
    const QString path = dir.filePath("VelmoraPro.ini");
    WriteAllSettings(path, TSettings{});
    TSettings s;
    for (auto _ : state) {
        ReadAllSettings(path, s);
        benchmark::DoNotOptimize(s);
    }
}
BENCHMARK(BM_ReadAllSettings);

void BM_WriteAllSettings(benchmark::State &state) {
    QTemporaryDir dir;
    const QString path = dir.filePath("VelmoraPro.ini");
    for (auto _ : state)
        WriteAllSettings(path, TSettings{});
}
BENCHMARK(BM_WriteAllSettings)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
