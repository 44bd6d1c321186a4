#include "chat/HintBuilder.h"

#include <QList>
#include <QRandomGenerator>

#include <algorithm>

namespace palvuro {

namespace {

// An index in [0, count) from one draw; a source that strays out of [0, 1) is held inside.
qsizetype drawIndex(const HintBuilder::RandomSource& random, qsizetype count) {
    const auto index = static_cast<qsizetype>(random() * static_cast<double>(count));
    return std::clamp<qsizetype>(index, 0, count - 1);
}

} // namespace

QString HintBuilder::build(const QString& answer, int first, int second) {
    QString hint;
    hint.reserve(answer.size() * 2);
    for (qsizetype i = 0; i < answer.size(); ++i) {
        const QChar c = answer.at(i);
        const qsizetype position = i + 1;
        if (c == QLatin1Char(' '))
            hint += QLatin1String("  ");
        else if (position == first || position == second)
            hint += c + QLatin1Char(' ');
        else
            hint += QLatin1String("_ ");
    }
    return hint;
}

std::optional<QString> HintBuilder::draw(const QString& answer, const RandomSource& random) {
    if (answer.size() < 2)
        return std::nullopt;
    QList<int> candidates;
    for (qsizetype i = 0; i < answer.size(); ++i) {
        if (answer.at(i) != QLatin1Char(' '))
            candidates.append(static_cast<int>(i + 1));
    }
    if (candidates.isEmpty())
        return std::nullopt;
    // Drawing among the candidates directly gives the same odds as drawing any position and
    // drawing again on a space or a repeat, and cannot loop when no second position exists.
    const qsizetype a = drawIndex(random, candidates.size());
    const int first = candidates.at(a);
    candidates.removeAt(a);
    const int second = candidates.isEmpty() ? 0 : candidates.at(drawIndex(random, candidates.size()));
    return build(answer, first, second);
}

HintBuilder::RandomSource HintBuilder::systemRandom() {
    return [] { return QRandomGenerator::global()->generateDouble(); };
}

} // namespace palvuro
