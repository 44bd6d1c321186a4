#pragma once

#include <QString>

namespace palvuro {

// The operator's per-user settings: string values by section and key under the application
// name "Quorvex" (QSettings' native store: the registry on Windows, elsewhere the per-user
// file $XDG_CONFIG_HOME/Quorvex.conf). A missing key reads as the empty string.
class SettingsStore {
public:
    struct Key {
        const char* section;
        const char* key;
    };
    static constexpr Key GiveAnswer{"Give", "Answer"};       // answer seconds, "1".."120"
    static constexpr Key NextQuestion{"Get", "Question"};    // pause seconds, "1".."300"
    static constexpr Key AnswerCheck{"Give", "AnswerCheck"}; // "1" reveals the answer
    static constexpr Key NickName{"Nick", "Name"};           // the bot's nick
    static constexpr Key Category{"Get", "Category"};        // the editor's remembered category
    static constexpr const char* DefaultSeconds = "40";

    static QString read(Key key);
    static void write(Key key, const QString& value);
    static void remove(Key key);
};

} // namespace palvuro
