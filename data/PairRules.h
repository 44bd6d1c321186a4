#pragma once

#include <QString>

namespace palvuro {

// What the category editor lets into the database, for every other way in (the importer, the
// exporter's check that a pair will come back unchanged): the size of its boxes, how it stores
// a typed value, and which category names it can create.
class PairRules {
public:
    // The question and answer boxes hold at most this many characters.
    static constexpr int MaxTextLength = 255;
    // The new-category box holds at most this many characters.
    static constexpr int MaxCategoryLength = 64;

    // Text from a file as the editor would store it had the operator typed it: character
    // references decoded, tabs and line breaks as blanks, upper-cased, trimmed of spaces.
    static QString cleaned(const QString& raw);
    // cleaned(value) == value, quickly for the common plain ASCII text.
    static bool isCleaned(const QString& value);
    // Why the editor could not have stored this (already cleaned) pair, or an empty text.
    static QString refusal(const QString& question, const QString& answer);
    // A category name as a question file writes it, as the editor stores it (upper-cased,
    // trimmed); a reserved SQL word gets an underscore (GENERAL_), so that its pairs come in
    // under a name the database can hold, whichever reader found the name.
    static QString categoryName(const QString& written);
    // Why a category of this stored name cannot be created, or an empty text.
    static QString categoryRefusal(const QString& storedName);
    // A label such as "Entertainment: Video Games" as a category name the editor can create
    // (ENTERTAINMENT_VIDEO_GAMES); empty when the label holds no letter or digit.
    static QString categoryFromLabel(const QString& label);

    // A multiple-choice question that names no options itself ("Which of these ...").
    static bool refersToOptions(const QString& storedQuestion);
    static bool isTrueFalseAnswer(const QString& storedAnswer);
};

} // namespace palvuro
