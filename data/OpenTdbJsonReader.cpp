#include "data/OpenTdbJsonReader.h"

#include "data/TextFile.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QStringDecoder>

#include <optional>

namespace palvuro {

namespace {

enum class Encoding { Plain, Url3986, Base64 };

std::optional<QString> strictUtf8(const QByteArray& bytes) {
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (utf8.hasError())
        return std::nullopt;
    return text;
}

std::optional<QString> fromBase64(const QString& value) {
    const QByteArray::FromBase64Result bytes =
        QByteArray::fromBase64Encoding(value.toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    if (!bytes)
        return std::nullopt;
    return strictUtf8(*bytes);
}

// The API writes every value of a result in one encoding; the type field, which is always
// "multiple" or "boolean", tells base64 apart, and url3986 leaves no blank in a question.
Encoding encodingOf(const QJsonObject& result) {
    const QString type = result.value(QLatin1String("type")).toString();
    if (!type.isEmpty() && type != QLatin1String("multiple") && type != QLatin1String("boolean") &&
        fromBase64(type))
        return Encoding::Base64;
    const QString question = result.value(QLatin1String("question")).toString();
    if (!question.contains(u' ') && question.contains(u'%'))
        return Encoding::Url3986;
    return Encoding::Plain;
}

std::optional<QString> decodedValue(const QJsonObject& result, const char* key, Encoding encoding) {
    const QJsonValue value = result.value(QLatin1String(key));
    if (!value.isString())
        return std::nullopt;
    const QString text = value.toString();
    switch (encoding) {
    case Encoding::Base64:
        return fromBase64(text);
    case Encoding::Url3986:
        return strictUtf8(QByteArray::fromPercentEncoding(text.toLatin1()));
    case Encoding::Plain:
        break;
    }
    return text;
}

} // namespace

OpenTdbJsonReader::OpenTdbJsonReader(const QByteArray& bytes) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(TextFile::withoutBom(bytes), &error);
    if (error.error != QJsonParseError::NoError) {
        failure_ = QStringLiteral("not valid JSON at byte %1 (%2); the file may be cut off")
                       .arg(error.offset)
                       .arg(error.errorString());
        return;
    }
    const QJsonValue results = document.object().value(QLatin1String("results"));
    if (!results.isArray()) {
        failure_ = QStringLiteral("no \"results\" list: not a saved Open Trivia Database response");
        return;
    }
    results_ = results.toArray();
}

double OpenTdbJsonReader::progress() const {
    return results_.isEmpty() ? 1.0 : double(next_) / double(results_.size());
}

bool OpenTdbJsonReader::next(ImportRecord* record) {
    if (next_ >= results_.size())
        return false;
    *record = ImportRecord{};
    record->number = next_ + 1;
    take(results_.at(next_++), record);
    return true;
}

void OpenTdbJsonReader::take(const QJsonValue& value, ImportRecord* record) const {
    const QJsonObject result = value.toObject();
    const Encoding encoding = encodingOf(result);
    const std::optional<QString> category = decodedValue(result, "category", encoding);
    const std::optional<QString> question = decodedValue(result, "question", encoding);
    const std::optional<QString> answer = decodedValue(result, "correct_answer", encoding);
    const std::optional<QString> type = decodedValue(result, "type", encoding);
    if (!category || !question || !answer) {
        record->error = QStringLiteral("no readable category, question and correct_answer");
        return;
    }
    if (!setCategoryFromLabel(*category, record))
        return;
    record->question = *question;
    record->answer = *answer;
    record->trueFalse = type && *type == QLatin1String("boolean");
}

} // namespace palvuro
