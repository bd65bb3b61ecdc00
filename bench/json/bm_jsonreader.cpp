// Reader throughput (bytes are the document's UTF-8 size) and, for the faulty document, the size of the log.
#include "json.h"

#include <benchmark/benchmark.h>

namespace {

/** A server list like the service sends, grown to about bytes of UTF-8. */
QString serverList(qsizetype bytes)
{
    QString doc = QStringLiteral("{\"ver\": 12,\n \"servers\": [\n");
    qsizetype utf8 = doc.size();
    for (int i = 0; utf8 < bytes; ++i) {
        const QString entry =
            QStringLiteral("  {\"name\": \"사내서버_%1\", \"host\": \"10.%2.%3.%4\", \"port\": %5, "
                           "\"desc\": \"build agent \\\"%1\\\" in rack %2\", \"weight\": %6.25, "
                           "\"tags\": [\"db\", \"update\", \"kr\"], \"enabled\": true, \"backup\": null},\n")
                .arg(i)
                .arg(i % 256)
                .arg(i / 256 % 256)
                .arg(i % 7)
                .arg(3000 + i % 1000)
                .arg(i % 100);
        doc += entry;
        utf8 += entry.toUtf8().size();
    }
    doc += QStringLiteral("  {\"name\": \"last\", \"host\": \"127.0.0.1\"}\n ]\n}\n");
    return doc;
}

/** About bytes of faults of every kind the reader forgives, each unit leaving the outer object readable: bad
 *  numbers, duplicate keys, bad literals, keys without colons, comments and missing commas. */
QString hostile(qsizetype bytes)
{
    QString doc = QStringLiteral("// hostile\n{");
    for (int i = 0; doc.size() < bytes; ++i) {
        doc += QStringLiteral("\"a%1\": [1, 2.3.4] \"c%1\": {\"x\": 1, \"x\": 2 ] \"e%1\": tru, \"g%1\": [nul] "
                              "\"h%1\" 5, \"i%1\": [[[{\"x\": + ]]]] /* c */ 'j%1': 'v' \"k%1\": [-1e400],\n")
                   .arg(i);
    }
    doc += u'}';
    return doc;
}

void run(benchmark::State& state, const QString& doc)
{
    const qsizetype bytes = doc.toUtf8().size();
    for (auto _ : state) {
        json::JsonValue result = json::ParseJson(doc);
        benchmark::DoNotOptimize(result);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * bytes);
    state.counters["doc_bytes"] = double(bytes);
    state.counters["log_bytes"] = double(json::Diagnostics().toUtf8().size());
    state.counters["log_lines"] = double(json::Diagnostics().count(QStringLiteral("\r\n")));
}

void BM_ServerList(benchmark::State& state)
{
    const QString doc = serverList(state.range(0) << 20);
    run(state, doc);
}
BENCHMARK(BM_ServerList)->Arg(1)->Arg(10)->Unit(benchmark::kMillisecond);

void BM_Hostile(benchmark::State& state)
{
    const QString doc = hostile(state.range(0) << 20);
    run(state, doc);
}
BENCHMARK(BM_Hostile)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_WriteServerList(benchmark::State& state)
{
    const json::JsonValue value = json::ParseJson(serverList(state.range(0) << 20));
    qsizetype bytes = 0;
    for (auto _ : state) {
        const QString text = json::ToJsonText(value);
        bytes = text.size();
        benchmark::DoNotOptimize(text);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * bytes);
}
BENCHMARK(BM_WriteServerList)->Arg(1)->Unit(benchmark::kMillisecond);

} // namespace
