#pragma once

namespace palvuro {

// Outcome of a database operation, for the caller to report in its own words.
enum class DbStatus {
    Ok,
    CannotOpen,       // the file cannot be opened or created (missing folder, no permission), or the
                      // server cannot be reached
    NotADatabase,     // the file exists but is not an SQLite database; it is left untouched
    Locked,           // another connection holds the data longer than the busy timeout, or the server
                      // did not answer within its time limit
    ReadOnly,         // the file or its folder cannot be written, or the server's user may not
    NoSuchCategory,   // no category of that name (letter case ignored)
    InvalidName,      // not a valid bare table name (create)
    AlreadyExists,    // a table of that name exists (create; letter case ignored)
    EmptyCategory,    // pick: the category has no rows
    NoUsableQuestion, // pick: every row has a null question or answer, or a blank answer
    NotFound,         // find: no row matched
    Failed            // anything else; errorText() says what
};

} // namespace palvuro
