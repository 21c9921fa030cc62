// SPDX-License-Identifier: MIT
// One history record on a full 14-day file: 10,080 snapshots (one a refresh every two
// minutes) of six points each, the largest file the store ever rewrites.
#include "history/HistoryStore.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdlib>

using namespace tallyvue;
using namespace Qt::StringLiterals;

namespace {

const QDateTime kNow = QDateTime::fromSecsSinceEpoch(1767621600, Qt::UTC);

QList<ProviderMetric> sixMetrics(double shift)
{
    const QDateTime reset = kNow.addSecs(7200);
    return {
        {AIProvider::Claude, u"session"_s, u"5-Hour"_s, 42.5 + shift, reset, 18000},
        {AIProvider::Claude, u"weekly_all"_s, u"7-Day"_s, 63 + shift, reset.addDays(3), 604800},
        {AIProvider::ChatGPT, u"primary"_s, u"5-Hour"_s, 12.25, reset, 18000},
        {AIProvider::ChatGPT, u"secondary"_s, u"Weekly"_s, 30, reset.addDays(5), 604800},
        {AIProvider::Copilot, u"premium_interactions"_s, u"Premium Interactions"_s, 71.3, reset.addDays(20), 2592000},
        {AIProvider::Copilot, u"chat"_s, u"Chat"_s, 0, reset.addDays(20), 2592000},
    };
}

QByteArray fullFile()
{
    QByteArray text;
    constexpr int kSnapshots = 10080;
    for (int i = 0; i < kSnapshots; ++i) {
        UsageSnapshot snapshot{kNow.addSecs(-qint64(kSnapshots - i) * 120 + 60), {}};
        for (const ProviderMetric& metric : sixMetrics(i % 7))
            snapshot.limits.append({metric.provider, metric.kind, metric.percent, metric.title, metric.resetsAt});
        text += *HistoryStore::encodeLine(snapshot) + '\n';
    }
    return text;
}

void BM_RecordOnFullHistory(benchmark::State& state)
{
    const QByteArray full = fullFile();
    const QList<ProviderMetric> metrics = sixMetrics(0.5);
    for (auto _ : state) {
        state.PauseTiming();
        QFile file(HistoryStore::filePath());
        file.open(QIODevice::WriteOnly | QIODevice::Truncate);
        file.write(full);
        file.close();
        state.ResumeTiming();
        HistoryStore::record(metrics, kNow);
    }
    state.counters["file_MB"] = double(full.size()) / 1e6;
}
BENCHMARK(BM_RecordOnFullHistory)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_LoadFullHistory(benchmark::State& state)
{
    QFile file(HistoryStore::filePath());
    file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    file.write(fullFile());
    file.close();
    for (auto _ : state)
        benchmark::DoNotOptimize(HistoryStore::load());
}
BENCHMARK(BM_LoadFullHistory)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    QTemporaryDir data;
    setenv("XDG_DATA_HOME", QFile::encodeName(data.path()).constData(), 1);
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
