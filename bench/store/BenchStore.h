#pragma once

// A large store for benchmarks: 100 assistants, 1,000 contexts (ten per assistant) and 10,000
// calls (a hundred per assistant) of 200 lines each. It is generated once and reused.

#include "common/Error.h"
#include "records/Records.h"

#include <QString>

namespace benchStore {

constexpr int assistantCount = 100;
constexpr int contextsPerAssistant = 10;
constexpr int callsPerAssistant = 100;
constexpr int linesPerCall = 200;

// The cached file in the build folder ("<build>/bench-data/Assistants.store").
QString defaultPath();

// Makes sure `path` holds the benchmark store, generating it when it is missing or incomplete
// (a half-written file from an interrupted run is never reused). Returns the path.
Result<QString> ensureBenchStore(const QString& path = defaultPath());

// A call like the generated ones: `lineCount` lines alternating between the speakers.
Call makeBenchCall(
    const QUuid& assistant, const std::optional<QUuid>& context, double startSeconds, int lineCount = linesPerCall);

} // namespace benchStore
