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
    ErrNoSuchNick = 401,
    ErrNoSuchChannel = 403,
    ErrCannotSendToChan = 404,
    ErrTooManyChannels = 405,
    ErrTooManyTargets = 407,
    ErrNoTopLevel = 413,
    ErrWildTopLevel = 414,
    ErrErroneousNickname = 432,
    ErrNicknameInUse = 433,
    ErrNickCollision = 436,
    ErrUnavailResource = 437,
    ErrNotOnChannel = 442,
    ErrPasswdMismatch = 464,
    ErrYoureBannedCreep = 465,
    ErrYouWillBeBanned = 466,
    ErrLinkChannel = 470, // forwarded to another channel
    ErrChannelIsFull = 471,
    ErrInviteOnlyChan = 473,
    ErrBannedFromChan = 474,
    ErrBadChannelKey = 475,
    ErrNeedReggedNick = 477,
    ErrThrottled = 480, // joining too fast
    ErrSecureOnlyChan = 489,
    RplLogOff = 601,     // WATCH: the nick logged off
    RplNowOff = 605,     // WATCH: the nick is offline
    ErrTargChange = 707, // too many new targets: wait
    ErrTargUmodeG = 716, // the nick accepts messages only from those it allows
    RplTargNotify = 717,
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
