#include "data/ImportFormat.h"

#include "data/CsvReader.h"
#include "data/LineSplitter.h"
#include "data/OpenTdbJsonReader.h"
#include "data/StarLineReader.h"
#include "data/TextFile.h"
#include "data/TsvReader.h"

#include <QStringList>

#include <algorithm>
#include <array>

namespace palvuro {

namespace {

// Enough lines to see a pattern, few enough that detecting costs nothing on a large file.
constexpr int kSampleLines = 20;
constexpr qsizetype kSampleBytes = 64 * 1024;

struct Named {
    ImportFormat::Kind kind;
    const char* name;
};
constexpr std::array<Named, 4> kNames{{{ImportFormat::Kind::Tsv, "tsv"},
                                       {ImportFormat::Kind::OpenTdbJson, "json"},
                                       {ImportFormat::Kind::Csv, "csv"},
                                       {ImportFormat::Kind::StarLines, "star"}}};

QList<QString> sampleLines(const QByteArray& bytes) {
    LineSplitter lines(TextFile::decoded(bytes.left(kSampleBytes)));
    QList<QString> sample;
    while (!lines.atEnd() && sample.size() < kSampleLines) {
        const QStringView line = lines.next();
        if (!line.trimmed().isEmpty())
            sample.append(line.toString());
    }
    // The sample may end inside a line cut at the byte limit.
    if (!lines.atEnd() && sample.size() > 1 && bytes.size() > kSampleBytes)
        sample.removeLast();
    return sample;
}

} // namespace

std::optional<ImportFormat::Kind> ImportFormat::fromName(const QString& name) {
    for (const Named& named : kNames) {
        if (name.compare(QLatin1String(named.name), Qt::CaseInsensitive) == 0)
            return named.kind;
    }
    return std::nullopt;
}

QString ImportFormat::nameOf(Kind kind) {
    for (const Named& named : kNames) {
        if (named.kind == kind)
            return QLatin1String(named.name);
    }
    return {};
}

std::optional<ImportFormat::Kind> ImportFormat::detect(const QByteArray& bytes) {
    const QByteArray start = TextFile::withoutBom(bytes.left(kSampleBytes)).trimmed();
    if (start.startsWith('{'))
        return Kind::OpenTdbJson;
    const QList<QString> sample = sampleLines(bytes);
    if (sample.isEmpty())
        return std::nullopt;
    if (sample.first().count(u'\t') == 2)
        return Kind::Tsv;
    // Most lines, not all: a broken line among them is reported, not a reason to guess again.
    const auto hasStar = [](const QString& line) { return line.contains(u'*'); };
    if (2 * std::count_if(sample.cbegin(), sample.cend(), hasStar) > sample.size())
        return Kind::StarLines;
    if (sample.first().contains(u',') || sample.first().startsWith(u'"'))
        return Kind::Csv;
    return std::nullopt;
}

std::unique_ptr<RecordReader> ImportFormat::reader(Kind kind, const QByteArray& bytes,
                                                   const QString& defaultCategory) {
    switch (kind) {
    case Kind::OpenTdbJson:
        return std::make_unique<OpenTdbJsonReader>(bytes);
    case Kind::Csv:
        return std::make_unique<CsvReader>(bytes, defaultCategory);
    case Kind::StarLines:
        return std::make_unique<StarLineReader>(bytes, defaultCategory);
    case Kind::Tsv:
        break;
    }
    return std::make_unique<TsvReader>(bytes);
}

} // namespace palvuro
