#pragma once

#include <QString>

namespace palvuro {

// What `palvuro-bridge --list` prints: every client the bridge knows with the conversations it
// can see in it, and how to make a client visible that runs but does not show itself.
class ClientListing {
public:
    // False when nothing could be seen at all (no accessibility bus).
    static bool write(QString* out);
};

} // namespace palvuro
