#pragma once

#include <string_view>
#include <vector>

// The packet types each handler target chooses from (a byte indexes its table), shared with
// the seed generator so that seeds name the types they mean.
namespace corvaline::fuzzing {

// Datagrams of the presence service; everything else travels on the message service.
inline const std::vector<std::string_view> kPresenceTypes = {"UI", "RL", "AL", "TP",   "SS",
                                                             "UC", "UO", "BL", "UOMFR"};
// Every request of the message service, and the replies a peer may send unasked.
inline const std::vector<std::string_view> kRequestTypes = {
    "TSM",  "TMM",  "TSOM", "TSFM", "TSOMM", "TSFMM", "CRJR",  "CRGRR", "CRGRI",
    "CRSM", "CRLR", "TRI",  "TSI",  "TMR",   "CRRR",  "CRSMR", "CRLRR"};
// Group chats, with the announcements that bring members on and off line.
inline const std::vector<std::string_view> kChatTypes = {"CRJR", "CRGRR", "CRGRI", "CRSM",
                                                         "CRLR", "UI",    "UO"};
// The relay: held and handed-on messages, receipts, clearances, announcements.
inline const std::vector<std::string_view> kRelayTypes = {"TSOM",  "TSOMM", "TSFM", "TSFMM",
                                                          "UOMFR", "TMR",   "UI",   "UO"};
// The keys of an offer and of a file header.
inline const std::vector<std::string_view> kOfferKeys = {
    "CONTENT-TYPE",         "SESSID",  "SESSAES",      "FROM-ID",
    "FROM-USERNAMEDISPLAY", "TO-USER", "FILES-NUMBER", "FILES-TOTALSIZE"};
inline const std::vector<std::string_view> kFileKeys = {"CONTENT-TYPE", "FILE-PATH", "FILE-NAME",
                                                        "FILE-SIZE", "FILE-PERMISSIONS"};

}  // namespace corvaline::fuzzing
