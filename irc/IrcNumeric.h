#pragma once

namespace palvuro {

// The server replies the client acts on, by the names the protocol documents give them.
namespace Numeric {
enum Code : int {
    RplWelcome = 1,
    RplISupport = 5,
    RplNamReply = 353,
    RplEndOfNames = 366,
    RplVisibleHost = 396,
    ErrNoSuchChannel = 403,
    ErrTooManyChannels = 405,
    ErrErroneousNickname = 432,
    ErrNicknameInUse = 433,
    ErrNickCollision = 436,
    ErrUnavailResource = 437,
    ErrPasswdMismatch = 464,
    ErrYoureBannedCreep = 465,
    ErrYouWillBeBanned = 466,
    ErrChannelIsFull = 471,
    ErrInviteOnlyChan = 473,
    ErrBannedFromChan = 474,
    ErrBadChannelKey = 475,
    ErrNeedReggedNick = 477,
    RplLogOff = 601, // WATCH: the nick logged off
    RplNowOff = 605, // WATCH: the nick is offline
    RplMonOffline = 731,
    RplLoggedIn = 900,
    ErrNickLocked = 902,
    RplSaslSuccess = 903,
    ErrSaslFail = 904,
    ErrSaslTooLong = 905,
    ErrSaslAborted = 906,
    ErrSaslAlready = 907,
    RplSaslMechs = 908,
};
} // namespace Numeric

} // namespace palvuro
