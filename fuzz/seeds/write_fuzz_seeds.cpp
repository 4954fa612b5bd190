// Writes the seed corpus of the handler targets: for each target one input per packet type
// with the fields its layout asks for (and a few that pair packets so that a later one meets
// what an earlier one stored). Run it after changing the input layout or the type tables:
//   write_fuzz_seeds fuzz/corpus
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <string>
#include <vector>

#include "support/FuzzInput.h"
#include "support/PacketTypes.h"

using namespace corvaline::fuzzing;

namespace {

// A field: a value of a kind with its arg, or a text.
struct Field {
    Value kind;
    std::uint8_t arg = 0;
    std::string text = {};
};

const Field kStar{Value::star};
const Field kMe{Value::myId};
const Field kPeerA{Value::peerId, 0};
const Field kPeerB{Value::peerId, 1};
const Field kRoom{Value::roomId, 0};
const Field kHeld{Value::messageId, 0};
const Field kOnline{Value::number, 0};
const Field kSession{Value::number, 7};

Field text(std::string value) {
    return {Value::raw, 0, std::move(value)};
}
Field unicode(std::string value) {
    return {Value::unicode, 0, std::move(value)};
}

std::uint8_t indexOf(const std::vector<std::string_view>& table, std::string_view name) {
    return static_cast<std::uint8_t>(std::find(table.begin(), table.end(), name) - table.begin());
}

void put(FuzzInputWriter& writer, const Field& field) {
    if (field.kind == Value::raw || field.kind == Value::unicode) {
        writer.text(field.text, field.kind);
    } else {
        writer.value(field.kind, field.arg);
    }
}

// One packet: its type by name, the sender's address (0 is the first peer's), the fields
// after the type.
void packet(FuzzInputWriter& writer, const std::vector<std::string_view>& table,
            std::string_view type, std::initializer_list<Field> fields, std::uint8_t ip = 0) {
    writer.byte(indexOf(table, type)).byte(ip).byte(static_cast<std::uint8_t>(fields.size()));
    for (const auto& field : fields) {
        put(writer, field);
    }
}

// The corpus folder, one folder per target. Single-threaded.
class Corpus {
  public:
    explicit Corpus(std::filesystem::path folder) : folder_(std::move(folder)) {}

    void write(const std::string& target, const std::string& name, const FuzzInputWriter& input) {
        const auto folder = folder_ / target;
        std::filesystem::create_directories(folder);
        std::ofstream(folder / name, std::ios::binary) << input.bytes();
        ++written_;
    }
    int written() const { return written_; }

  private:
    std::filesystem::path folder_;
    int written_ = 0;
};

// Presence packets in their layouts: status, pc, id, addressee ip and id, opaque, name,
// session.
void presence(FuzzInputWriter& w, const std::vector<std::string_view>& table, std::string_view type,
              const Field& from = kPeerA) {
    if (type == "TP") {
        packet(w, table, type, {kStar, text("host-a"), from, kStar, kMe, kStar, kStar, kStar});
    } else if (type == "UOMFR") {
        packet(w, table, type,
               {kHeld, text("host-b"), kPeerB, kStar, kStar, kStar, kStar, kSession}, 1);
    } else if (type == "UC") {
        packet(w, table, type,
               {kOnline, text("host-a"), from, kStar, kStar, text("Old"), text("New"), kSession});
    } else {
        packet(w, table, type,
               {kOnline, text("host-a"), from, kStar, kStar, kStar, text("Alice"), kSession});
    }
}

// Message-service packets in their layouts.
void request(FuzzInputWriter& w, const std::vector<std::string_view>& table,
             std::string_view type) {
    const Field id{Value::number, 42};
    const Field time{Value::number, 200};
    if (type == "TSM" || type == "TMM") {
        packet(w, table, type, {id, text("host-a"), kPeerA, kStar, kMe, unicode("hello"), kStar});
    } else if (type == "TSOM" || type == "TSOMM") {
        packet(w, table, type,
               {kPeerB, id, kPeerA, time, kMe, unicode("held for B"), text("Alice")});
    } else if (type == "TSFM" || type == "TSFMM") {
        packet(w, table, type, {id, time, kPeerB, text("Alice"), kMe, unicode("handed on"), kPeerA},
               1);
    } else if (type == "CRJR" || type == "CRGRR") {
        packet(w, table, type,
               {kRoom, text("host-a"), kPeerA, kStar, kMe, Field{Value::peerList, 0b1011}, kStar});
    } else if (type == "CRSM") {
        packet(w, table, type,
               {kRoom, text("host-a"), kPeerA, kStar, kMe, unicode("to all"), kStar});
    } else if (type == "TRI") {
        packet(w, table, type, {kStar, text("host-a"), kPeerA, kStar, kMe, kStar, kStar});
    } else if (type == "TSI") {
        packet(w, table, type,
               {kStar, text("host-a"), kPeerA, kStar, kMe,
                text("host-a|alice|2.1|Busy|Alice|B.|Tester|*|QA|1|*|*|*|*|*|*|*|*|*|*|*|*|*"),
                kStar});
    } else if (type == "TMR") {
        packet(w, table, type, {kStar, text("host-b"), kPeerB, kStar, kMe, kStar, kStar}, 1);
    } else {  // "CRGRI", "CRLR" and the replies
        packet(w, table, type, {kRoom, text("host-a"), kPeerA, kStar, kMe, kStar, kStar});
    }
}

void packets(Corpus& corpus, const std::string& target,
             const std::vector<std::string_view>& table) {
    for (const auto type : table) {
        FuzzInputWriter w;
        if (std::find(kPresenceTypes.begin(), kPresenceTypes.end(), type) != kPresenceTypes.end()) {
            presence(w, table, type);
        } else {
            request(w, table, type);
        }
        corpus.write(target, std::string(type), w);
    }
}

// An offer from a peer, the decision, then files of the given header values and their data.
void transfer(Corpus& corpus, const std::string& name, std::uint8_t aes,
              std::initializer_list<std::initializer_list<Field>> files,
              std::uint8_t decision = 0) {
    FuzzInputWriter w;
    w.byte(0);  // the peer closes with an error at the end
    const std::vector<Field> offer = {text("NEWFTS"),
                                      Field{Value::number, 9},
                                      Field{Value::number, aes},
                                      kPeerA,
                                      text("Alice"),
                                      kMe,
                                      Field{Value::number, static_cast<std::uint8_t>(files.size())},
                                      Field{Value::number, 200}};
    w.byte(static_cast<std::uint8_t>(offer.size()));
    for (std::size_t i = 0; i < offer.size(); ++i) {
        w.byte(static_cast<std::uint8_t>(i));
        put(w, offer[i]);
    }
    w.byte(decision);
    for (const auto& file : files) {
        w.byte(static_cast<std::uint8_t>(file.size()));
        std::uint8_t key = 0;
        for (const auto& value : file) {
            w.byte(key++);
            put(w, value);
        }
        w.append(std::string(200, 'x'));
    }
    corpus.write("transfer_receive", name, w);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s CORPUS-FOLDER\n", argv[0]);
        return 2;
    }
    Corpus corpus(argv[1]);
    packets(corpus, "presence", kPresenceTypes);
    packets(corpus, "requests", kRequestTypes);
    packets(corpus, "chat_packets", kChatTypes);
    packets(corpus, "relayed_packets", kRelayTypes);

    // Pairs: a join then a message into the new room; a held message then its clearance.
    FuzzInputWriter joinThenWrite;
    packet(joinThenWrite, kChatTypes, "CRJR",
           {Field{Value::roomId, 200}, text("host-a"), kPeerA, kStar, kMe,
            Field{Value::peerList, 0b011}, kStar});
    packet(joinThenWrite, kChatTypes, "CRSM",
           {Field{Value::roomId, 200}, text("host-b"), kPeerB, kStar, kMe, unicode("hi"), kStar},
           1);
    corpus.write("chat_packets", "join-then-write", joinThenWrite);
    FuzzInputWriter holdThenClear;
    request(holdThenClear, kRelayTypes, "TSOM");
    packet(holdThenClear, kRelayTypes, "UOMFR",
           {Field{Value::number, 42}, text("host-b"), kPeerB, kStar, kStar, kStar, kStar, kSession},
           1);
    corpus.write("relayed_packets", "hold-then-clear", holdThenClear);

    const Field plainFile = text("FILE");
    transfer(corpus, "one-file", 1,
             {{plainFile, Field{Value::empty}, text("notes.txt"), Field{Value::number, 200},
               text("420")}});
    transfer(
        corpus, "plain-two-files", 0,
        {{plainFile, text("dir"), text("a.txt"), Field{Value::number, 100}, text("420")},
         {plainFile, text("dir\\sub"), text("b.txt"), Field{Value::number, 100}, text("384")}});
    transfer(
        corpus, "empty-file", 1,
        {{plainFile, Field{Value::empty}, text("empty"), Field{Value::number, 0}, text("420")}});
    transfer(corpus, "climbing-name", 1,
             {{plainFile, Field{Value::path, 1}, Field{Value::path, 0}, Field{Value::number, 200},
               text("420")}});
    transfer(
        corpus, "refused", 1,
        {{plainFile, Field{Value::empty}, text("no.txt"), Field{Value::number, 200}, text("420")}},
        2);
    std::printf("%d seeds written\n", corpus.written());
    return 0;
}
