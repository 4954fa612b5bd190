#include "core/model/entities/FileTransfer.h"

#include <sys/resource.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <fstream>
#include <iterator>
#include <optional>
#include <thread>

#include "core/codec/PacketCodec.h"
#include "core/codec/ProgramKey.h"
#include "core/model/entities/Me.h"
#include "core/model/events/ModelEvents.h"
#include "core/net/FILEserver.h"
#include "core/net/IncomingTransferLimit.h"
#include "core/net/NetTest.h"
#include "core/net/TransferPeer.h"
#include "platform/locale/DateTimeFormat.h"
#include "platform/notifications/NotificationCenter.h"

namespace corvaline::testing {
namespace {

namespace fs = std::filesystem;
using Peer = TransferPeer;

std::string pattern(std::size_t size, unsigned seed) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>((i * 31 + i / 997 + seed) & 0xFF);
    }
    return bytes;
}

std::string contentOf(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

std::string line(const HeaderFields& fields) {
    const auto bytes = prepareHeader(PacketCodec::shared(), fields).value();
    return std::string(bytes.begin(), bytes.end());
}

// The value of a property of a read line, or "(none)".
std::string field(const std::string& text, const std::string& name) {
    for (const auto& [key, value] : ParseTransferHeader(
             PacketCodec::shared(),
             ByteView(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()))) {
        if (key == name) {
            return value;
        }
    }
    return "(none)";
}

std::string decrypt(AesCbcStream& chain, std::string data) {
    std::span<std::uint8_t> bytes(reinterpret_cast<std::uint8_t*>(data.data()), data.size());
    EXPECT_TRUE(chain.transform(bytes));
    return data;
}

std::string encrypt(AesCbcStream& chain, std::string data) {
    data.resize((data.size() + 15) / 16 * 16, 'x');
    return decrypt(chain, std::move(data));
}

std::string offerLine(const std::string& sessaes, const std::string& count,
                      const std::string& total) {
    return line({{"CONTENT-TYPE", "FILESENDREQUEST"},
                 {"SESSID", "4711"},
                 {"SESSAES", sessaes},
                 {"FROM-ID", "A777"},
                 {"FROM-USERNAMEDISPLAY", "Mallory"},
                 {"TO-USER", "A1"},
                 {"FILES-NUMBER", count},
                 {"FILES-TOTALSIZE", total}});
}

std::string fileHeader(const std::string& path, const std::string& name, const std::string& size) {
    return line({{"CONTENT-TYPE", "SENDFILESTREAM"},
                 {"FILE-PATH", path},
                 {"FILE-NAME", name},
                 {"FILE-SIZE", size},
                 {"FILE-PERMISSIONS", "416"}});
}

std::string decisionLine(const std::string& files, const std::string& aes) {
    return line({{"CONTENT-TYPE", "NEWFTSANSWER"}, {"ACCEPT-FILES", files}, {"ACCEPT-AES", aes}});
}

const std::string& answerOne() {
    static const std::string answer =
        line({{"CONTENT-TYPE", "FILESENDREQUESTRESPONSE"}, {"ACCEPT", "1"}});
    return answer;
}

// Every path below `folder`, sorted; none for a folder that does not exist.
std::vector<std::string> tree(const fs::path& folder) {
    std::vector<std::string> paths;
    std::error_code error;
    for (fs::recursive_directory_iterator walk(folder, error), end; !error && walk != end;
         walk.increment(error)) {
        paths.push_back(walk->path().lexically_relative(folder).string());
    }
    std::sort(paths.begin(), paths.end());
    return paths;
}

// Transfers with real sockets on 127.0.0.1 and a main loop on real time. Incoming offers
// are decided as `decision_` says, the way the item view of the application does.
class FileTransferTest : public NetTest {
  protected:
    void SetUp() override {
        NetTest::SetUp();
        CoreServices::shared().mainQueue = &real_;
        downloads_ = home_.path() / "Downloads" / "Corvaline";
        setDefault("fileTransferPath", downloads_.string());
        setDefault("sounds.enabled", true);
        setDefault("sounds.onIncomingFile", true);
        peer_ = addUser("A4242", "0");
        peer_->setIp("127.0.0.1");
        logObserver_ = NotificationCenter::defaultCenter().addObserver(
            "logUpdated", nullptr, [this](const Notification& notice) { decide(notice.object); });
    }

    void TearDown() override {
        logObserver_ = {};
        files_.reset();
        incoming_.clear();
        NetTest::TearDown();
    }

    std::shared_ptr<Executor> mainQueue() {
        return std::shared_ptr<Executor>(std::shared_ptr<void>(), &real_);
    }

    void listen() { files_ = FILEserver::create(mainQueue()); }

    void decide(const void* object) {
        for (const auto& user : userList_->allUsersWithoutOffline(false, false)) {
            if (user.get() != object) {
                continue;
            }
            for (const auto& entry : user->lastLogEnties(0)) {
                auto transfer = std::dynamic_pointer_cast<FileTransfer>(entry);
                if (transfer && transfer->incoming() &&
                    std::find(incoming_.begin(), incoming_.end(), transfer) == incoming_.end()) {
                    incoming_.push_back(transfer);
                    if (decision_ >= 0 && transfer->transferState() == FileTransfer::kWaiting) {
                        transfer->ContinueTransfer(decision_);
                    }
                }
            }
        }
    }

    // Runs the loop for at most 30 s of real time until `done` holds.
    bool runUntil(const std::function<bool()>& done) {
        const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (!done() && std::chrono::steady_clock::now() < limit) {
            real_.runUntil(done, Duration(0.1));
        }
        return done();
    }

    // Runs the peer on a thread of its own while the loop runs, until the peer is done and
    // no transfer runs any more.
    std::vector<std::string> withPeer(const std::function<std::vector<std::string>()>& peer,
                                      const std::vector<std::shared_ptr<FileTransfer>>& sent = {}) {
        std::atomic<bool> done = false;
        std::vector<std::string> reads;
        std::thread thread([&] {
            reads = peer();
            done = true;
        });
        EXPECT_TRUE(runUntil([&] {
            const auto running = [](const auto& t) { return t->isRunning(); };
            return done.load() && std::none_of(sent.begin(), sent.end(), running) &&
                   std::none_of(incoming_.begin(), incoming_.end(), running);
        }));
        thread.join();
        real_.runPending();  // the follow-up of an offer was posted before its decision went out
        return reads;
    }

    fs::path makeFile(const fs::path& relative, const std::string& content, mode_t mode = 0644) {
        const fs::path path = home_.path() / "out" / relative;
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << content;
        ::chmod(path.c_str(), mode);
        return path;
    }

    std::string expectedFolder(int number) {
        DateTimeFormat longDate(DateTimeFormat::Style::longStyle, DateTimeFormat::Style::none);
        const std::string name = userList_->me()->name() + " - " + longDate.format(now());
        return (downloads_ / (number == 1 ? name : name + " (" + std::to_string(number) + ")"))
            .string();
    }

    MainLoop real_;
    fs::path downloads_;
    std::shared_ptr<User> peer_;
    std::shared_ptr<FILEserver> files_;
    std::vector<std::shared_ptr<FileTransfer>> incoming_;
    std::int64_t decision_ = FileTransfer::kRunning;
    ObservationToken logObserver_;
};

TEST_F(FileTransferTest, FilesAndFoldersArriveWholeWithTheirPermissionsEncryptedOrNot) {
    listen();
    const std::string big = pattern(1'000'005, 1);
    const std::string round = pattern(1'000'000, 2);
    const std::vector<fs::path> paths = {
        makeFile("big.bin", big, 0640),
        makeFile("empty", ""),
        makeFile("Docs/sub/round.bin", round, 0755),
    };
    peer_->setIp("127.0.0.1");
    // The second transfer of the day goes into a folder of its own.
    for (const bool encrypt : {true, false}) {
        SCOPED_TRACE(encrypt);
        const std::size_t before = incoming_.size();
        auto sent = files_->outgoingFiles({paths[0], paths[1], home_.path() / "out" / "Docs"},
                                          *peer_, encrypt);
        ASSERT_NE(sent, nullptr);
        EXPECT_EQ(sent->transferState(), FileTransfer::kWaiting);
        EXPECT_EQ(sent->filesNumber(), 3);
        EXPECT_EQ(sent->filesTotalSize(), 2'000'005);
        ASSERT_TRUE(runUntil([&] {
            return !sent->isRunning() && incoming_.size() == before + 1 &&
                   !incoming_.back()->isRunning();
        }));
        const auto received = incoming_.back();
        EXPECT_EQ(sent->transferState(), FileTransfer::kComplete);
        EXPECT_EQ(received->transferState(), FileTransfer::kComplete);
        EXPECT_EQ(received->encrypt(), encrypt);
        EXPECT_EQ(received->filesTransferred(), 3);
        EXPECT_EQ(sent->bytesReceived(), 2'000'005);
        EXPECT_EQ(received->bytesReceived(), 2'000'005);
        const fs::path folder = received->folderPath();
        EXPECT_EQ(folder.string(), expectedFolder(encrypt ? 1 : 2));
        EXPECT_EQ(tree(folder), (std::vector<std::string>{"Docs", "Docs/sub", "Docs/sub/round.bin",
                                                          "big.bin", "empty"}));
        EXPECT_TRUE(contentOf(folder / "big.bin") == big);
        EXPECT_TRUE(contentOf(folder / "Docs/sub/round.bin") == round);
        EXPECT_EQ(fs::file_size(folder / "empty"), 0u);
        EXPECT_EQ(fs::status(folder / "big.bin").permissions(), static_cast<fs::perms>(0640));
        EXPECT_EQ(fs::status(folder / "Docs/sub/round.bin").permissions(),
                  static_cast<fs::perms>(0755));
    }
    EXPECT_EQ(std::count(windows_.calls.begin(), windows_.calls.end(), "play File"), 2);
}

TEST_F(FileTransferTest, EventsFollowEachTransfersStatesHistoryAndProgress) {
    listen();
    const std::string content = pattern(2'000'005, 6);
    const auto path = makeFile("big.bin", content);
    struct Heard {
        std::vector<std::int64_t> states;
        std::vector<std::int64_t> progress;
    };
    std::map<const FileTransfer*, Heard> heard;
    // Every notice but a transfer's last comes at least 50 ms after the one before.
    std::optional<std::chrono::steady_clock::time_point> lastNotice;
    int earlyNotices = 0;
    std::vector<std::string> histories;
    auto& events = ModelEvents::shared();
    auto states = events.observeTransferStateChanged([&](FileTransfer& transfer) {
        heard[&transfer].states.push_back(transfer.transferState());
    });
    auto progress = events.observeTransferProgressChanged([&](FileTransfer& transfer,
                                                              std::int64_t bytes) {
        heard[&transfer].progress.push_back(bytes);
        const auto now = std::chrono::steady_clock::now();
        if (bytes != 2'000'005 && lastNotice && now - *lastNotice < std::chrono::milliseconds(50)) {
            ++earlyNotices;
        }
        lastNotice = now;
    });
    auto history = events.observeUserHistoryAppended([&](User& user, LogEntry& entry) {
        histories.push_back(user.userId() + (entry.incoming() ? " incoming" : " outgoing"));
    });

    auto sent = files_->outgoingFiles({path}, *peer_, true);
    ASSERT_NE(sent, nullptr);
    ASSERT_TRUE(runUntil([&] {
        return !sent->isRunning() && incoming_.size() == 1 && !incoming_.back()->isRunning();
    }));
    const auto received = incoming_.back();
    ASSERT_EQ(received->transferState(), FileTransfer::kComplete);
    const std::vector<std::int64_t> waitingRunningComplete{
        FileTransfer::kWaiting, FileTransfer::kRunning, FileTransfer::kComplete};
    EXPECT_EQ(heard[sent.get()].states, waitingRunningComplete);
    EXPECT_EQ(heard[received.get()].states, waitingRunningComplete);
    for (const auto* transfer : {sent.get(), received.get()}) {
        const auto& bytes = heard[transfer].progress;
        ASSERT_FALSE(bytes.empty());
        EXPECT_TRUE(std::is_sorted(bytes.begin(), bytes.end()));
        EXPECT_EQ(bytes.back(), 2'000'005);
    }
    EXPECT_EQ(earlyNotices, 0);
    // The sender here is this very copy: the received transfer is in the local user's history.
    EXPECT_EQ(histories, (std::vector<std::string>{peer_->userId() + " outgoing",
                                                   userList_->me()->userId() + " incoming"}));
}

TEST_F(FileTransferTest, EqualsSignsAndTheLongestNamesTheDiskHoldsArrive) {
    listen();
    userList_->me()->setName("Ann=Lee");
    const std::string longest(255, 'n');
    makeFile("x=y/" + longest, "long");
    auto sent = files_->outgoingFiles({makeFile("a=b.txt", "equals"), home_.path() / "out" / "x=y"},
                                      *peer_);
    ASSERT_NE(sent, nullptr);
    ASSERT_TRUE(runUntil([&] {
        return !sent->isRunning() && !incoming_.empty() && !incoming_.back()->isRunning();
    }));
    // Accepted by the user (only a waiting offer is): the counts after the name were read.
    const auto received = incoming_.back();
    EXPECT_EQ(received->filesNumber(), 2);
    EXPECT_EQ(received->transferState(), FileTransfer::kComplete);
    EXPECT_EQ(sent->transferState(), FileTransfer::kComplete);
    const fs::path folder = received->folderPath();
    EXPECT_EQ(folder.string(), expectedFolder(1));
    EXPECT_EQ(contentOf(folder / "a=b.txt"), "equals");
    EXPECT_EQ(contentOf(folder / "x=y" / longest), "long");
}

TEST_F(FileTransferTest, OneCipherChainRunsThroughChunksAndFilesPaddedToWholeBlocks) {
    const std::string first = pattern(1'000'000, 3);
    const std::string second = pattern(1'000'005, 4);
    const std::string last = pattern(100, 5);
    const std::vector<fs::path> paths = {makeFile("a", first), makeFile("b", second),
                                         makeFile("e", ""), makeFile("c", last)};
    struct Case {
        bool encrypt;
        std::vector<std::size_t> wire;
    };
    for (const auto& c : {Case{true, {1'000'000, 1'000'016, 0, 112}},
                          Case{false, {1'000'000, 1'000'005, 0, 100}}}) {
        SCOPED_TRACE(c.encrypt);
        const std::string aes = c.encrypt ? "1" : "0";
        std::vector<Peer::Step> script{Peer::ReadLine(), Peer::Write(decisionLine("1", aes))};
        for (const std::size_t length : c.wire) {
            script.push_back(Peer::ReadLine());
            script.push_back(Peer::Write(answerOne()));
            if (length > 0) {
                script.push_back(Peer::ReadLength(length));
            }
        }
        const int listener = Peer::listen(FileTransfer::kPort);
        auto sent = FileTransfer::newOutgoingFiles(paths, *peer_, mainQueue(), c.encrypt);
        const auto reads = withPeer([&] { return Peer::serve(listener, script); }, {sent});
        ASSERT_EQ(reads.size(), 8u);
        EXPECT_EQ(field(reads[0], "sessaes"), aes);
        EXPECT_EQ(field(reads[0], "files_number"), "4");
        EXPECT_EQ(field(reads[0], "files_totalsize"), "2000105");
        EXPECT_EQ(field(reads[1], "file_size"), "1000000");
        EXPECT_EQ(field(reads[1], "file_path"), "");
        EXPECT_EQ(field(reads[1], "file_name"), "a");
        EXPECT_EQ(field(reads[5], "file_size"), "0");
        EXPECT_EQ(field(reads[6], "file_name"), "c");
        EXPECT_EQ(reads[2].size(), c.wire[0]);
        EXPECT_EQ(reads[4].size(), c.wire[1]);
        EXPECT_EQ(reads[7].size(), c.wire[3]);
        EXPECT_EQ(sent->transferState(), FileTransfer::kComplete);
        if (!c.encrypt) {
            EXPECT_TRUE(reads[2] == first && reads[4] == second && reads[7] == last);
            continue;
        }
        AesCbcStream chain(AesCbcStream::Direction::decrypt, kProgramKey, kZeroIv);
        EXPECT_TRUE(decrypt(chain, reads[2]) == first);
        EXPECT_TRUE(decrypt(chain, reads[4]).substr(0, second.size()) == second);
        EXPECT_TRUE(decrypt(chain, reads[7]).substr(0, last.size()) == last);
        // A fresh chain would not read the second file: it continues the first one's.
        AesCbcStream fresh(AesCbcStream::Direction::decrypt, kProgramKey, kZeroIv);
        EXPECT_FALSE(decrypt(fresh, reads[4]).substr(0, 16) == second.substr(0, 16));
    }
}

TEST_F(FileTransferTest, TheReceiverEchoesTheCipherChoiceAndKeepsOnlyTheRealBytes) {
    listen();
    const std::string content = pattern(1'000'005, 6);
    for (const std::string aes : {"1", "0"}) {
        SCOPED_TRACE(aes);
        AesCbcStream chain(AesCbcStream::Direction::encrypt, kProgramKey, kZeroIv);
        std::string data = content;
        if (aes == "1") {
            data = encrypt(chain, content.substr(0, 786432));
            data += encrypt(chain, content.substr(786432));
        }
        const auto reads = withPeer([&] {
            return Peer::connect(FileTransfer::kPort,
                                 {Peer::Write(offerLine(aes, "1", "1000005")), Peer::ReadLine(),
                                  Peer::Write(fileHeader("", "r.bin", "1000005")), Peer::ReadLine(),
                                  Peer::Write(data), Peer::ReadLine()});
        });
        ASSERT_GE(reads.size(), 2u);
        EXPECT_EQ(field(reads[0], "content_type"), "NEWFTSANSWER");
        EXPECT_EQ(field(reads[0], "accept_files"), "1");
        EXPECT_EQ(field(reads[0], "accept_aes"), aes);
        EXPECT_EQ(field(reads[1], "accept"), "1");
        const auto received = incoming_.back();
        EXPECT_EQ(received->transferState(), FileTransfer::kComplete);
        EXPECT_EQ(received->originalSenderName(), "");
        const fs::path file = fs::path(received->folderPath()) / "r.bin";
        EXPECT_EQ(fs::file_size(file), 1'000'005u);
        EXPECT_TRUE(contentOf(file) == content);
        EXPECT_EQ(fs::status(file).permissions(), static_cast<fs::perms>(0640));
    }
}

TEST_F(FileTransferTest, OffersWithImpossibleCountsAreRefusedWithoutAFolder) {
    listen();
    const std::pair<const char*, const char*> cases[] = {
        {"-1", "10"}, {"abc", "10"}, {"0", "0"}, {"99999999999999999999", "1"},
        {"1", "-5"},  {"1", "lots"}, {"", ""},   {"1", "99999999999999999999"},
    };
    for (const auto& [count, total] : cases) {
        SCOPED_TRACE(std::string(count) + " " + total);
        const std::string offer = offerLine("1", count, total);
        const auto reads = withPeer([&] {
            return Peer::connect(FileTransfer::kPort, {Peer::Write(offer), Peer::ReadLine()});
        });
        ASSERT_EQ(reads.size(), 1u);
        EXPECT_EQ(field(reads[0], "accept_files"), "0");
        EXPECT_EQ(incoming_.back()->transferState(), FileTransfer::kCancelled);
    }
    EXPECT_EQ(incoming_.size(), std::size(cases));
    EXPECT_TRUE(tree(downloads_).empty());
    // A line that never ends costs the receiver a bounded buffer: the connection closes.
    const auto endless = withPeer([&] {
        return Peer::connect(FileTransfer::kPort,
                             {Peer::Write(std::string(100'000, 'A')), Peer::ReadLine()});
    });
    EXPECT_TRUE(endless.empty() || endless.front().empty());
    // Without an offer nothing is left for a history.
    const FetchRequest transfers{std::string(FileTransfer::kEntityName), {}, "time", true, 0};
    EXPECT_TRUE(runUntil([&] { return context_->count(transfers) == std::size(cases); }));
}

TEST_F(FileTransferTest, ARefusedOfferLeavesNoFolderAndTheFolderComesWithTheFirstFile) {
    listen();
    decision_ = FileTransfer::kCancelled;
    const auto refused = withPeer([&] {
        return Peer::connect(FileTransfer::kPort,
                             {Peer::Write(offerLine("0", "1", "1")), Peer::ReadLine()});
    });
    ASSERT_EQ(refused.size(), 1u);
    EXPECT_EQ(field(refused[0], "accept_files"), "0");
    EXPECT_TRUE(tree(downloads_).empty());

    decision_ = FileTransfer::kRunning;
    withPeer([&] {
        return Peer::connect(
            FileTransfer::kPort,
            {Peer::Write(offerLine("0", "1", "1")), Peer::ReadLine(),
             Peer::Act([&] { EXPECT_TRUE(tree(downloads_).empty()); }),
             Peer::Write(fileHeader("", "one.txt", "1")), Peer::ReadLine(), Peer::Write("x")});
    });
    EXPECT_EQ(incoming_.back()->transferState(), FileTransfer::kComplete);
    EXPECT_EQ(tree(incoming_.back()->folderPath()), std::vector<std::string>{"one.txt"});
}

TEST_F(FileTransferTest, HostileFileHeadersAreAnsweredFourAndNothingIsWrittenOutside) {
    listen();
    const std::vector<std::string> hostile[] = {
        {"..", "evil", "5"},    {"..\\..\\..", "evil", "5"},
        {"\\tmp", "evil", "5"}, {"/tmp", "evil", "5"},
        {"", "../evil", "5"},   {"", "/tmp/evil", "5"},
        {"a", "b\\evil", "5"},  {"", "..", "5"},
        {"", "evil", "-5"},     {"", "evil", "5x"},
        {"", "evil", "6"},
    };
    for (const auto& c : hostile) {
        SCOPED_TRACE(c[0] + " " + c[1] + " " + c[2]);
        const auto reads = withPeer([&] {
            return Peer::connect(FileTransfer::kPort,
                                 {Peer::Write(offerLine("0", "1", "5")), Peer::ReadLine(),
                                  Peer::Write(fileHeader(c[0], c[1], c[2])), Peer::ReadLine(),
                                  Peer::Write("evil!"), Peer::ReadLine()});
        });
        ASSERT_GE(reads.size(), 2u);
        EXPECT_EQ(field(reads[1], "accept"), "4");
        EXPECT_EQ(incoming_.back()->transferState(), FileTransfer::kNoFolder);
        EXPECT_TRUE(tree(incoming_.back()->folderPath()).empty());
    }
    for (const auto& path : tree(home_.path())) {
        EXPECT_EQ(path.find("evil"), std::string::npos) << path;
    }
    EXPECT_FALSE(fs::exists("/tmp/evil"));
}

TEST_F(FileTransferTest, ATransferThatBreaksOffLeavesNoCompleteLookingFile) {
    listen();
    const std::string content = pattern(2'000'000, 7);
    const auto reads = withPeer([&] {
        return Peer::connect(FileTransfer::kPort,
                             {Peer::Write(offerLine("0", "1", "2000000")), Peer::ReadLine(),
                              Peer::Write(fileHeader("Docs", "half.bin", "2000000")),
                              Peer::ReadLine(), Peer::Write(content.substr(0, 1'000'000))});
    });
    ASSERT_EQ(reads.size(), 2u);
    const auto received = incoming_.back();
    EXPECT_EQ(received->transferState(), FileTransfer::kFailed);
    EXPECT_EQ(tree(received->folderPath()), std::vector<std::string>{"Docs"});

    // The receiver cancels a running transfer: its partial file goes too.
    std::shared_ptr<FileTransfer> cancelled;
    const auto token = NotificationCenter::defaultCenter().addObserver(
        "logUpdated", nullptr, [&](const Notification&) {
            if (!incoming_.empty() && incoming_.back() != received && !cancelled) {
                cancelled = incoming_.back();
                real_.postAfter(Duration(0.2), [&] { cancelled->ContinueTransfer(0); });
            }
        });
    withPeer([&] {
        return Peer::connect(FileTransfer::kPort,
                             {Peer::Write(offerLine("0", "1", "2000000")), Peer::ReadLine(),
                              Peer::Write(fileHeader("", "cut.bin", "2000000")), Peer::ReadLine(),
                              Peer::Write(content.substr(0, 1000)), Peer::ReadLine()});
    });
    ASSERT_NE(cancelled, nullptr);
    EXPECT_EQ(cancelled->transferState(), FileTransfer::kCancelled);
    EXPECT_TRUE(tree(cancelled->folderPath()).empty());
}

TEST_F(FileTransferTest, TheSenderStopsWhenThePeerGoesOrTheFileChanges) {
    // Larger than what the connection's buffers take in before the peer reads.
    const std::string content = pattern(16 << 20, 8);
    const fs::path path = makeFile("a.bin", content);
    struct Case {
        const char* what;
        std::vector<Peer::Step> script;
        std::int64_t state;
    };
    const auto change = [&](std::function<void()> act) {
        return std::vector<Peer::Step>{
            Peer::ReadLine(), Peer::Act(std::move(act)), Peer::Write(decisionLine("1", "1")),
            Peer::ReadLine(), Peer::Write(answerOne()),  Peer::ReadLine()};
    };
    const Case cases[] = {
        {"closed before deciding", {Peer::ReadLine()}, FileTransfer::kCancelled},
        {"refused",
         {Peer::ReadLine(), Peer::Write(decisionLine("0", "1"))},
         FileTransfer::kCancelled},
        {"no folder",
         {Peer::ReadLine(), Peer::Write(decisionLine("4", "1"))},
         FileTransfer::kNoFolder},
        {"decided complete",
         {Peer::ReadLine(), Peer::Write(decisionLine("6", "1"))},
         FileTransfer::kCancelled},
        {"closed after the header",
         {Peer::ReadLine(), Peer::Write(decisionLine("1", "1")), Peer::ReadLine()},
         FileTransfer::kFailed},
        {"answered 4",
         {Peer::ReadLine(), Peer::Write(decisionLine("1", "1")), Peer::ReadLine(),
          Peer::Write(line({{"CONTENT-TYPE", "FILESENDREQUESTRESPONSE"}, {"ACCEPT", "4"}})),
          Peer::ReadLine()},
         FileTransfer::kFailed},
        {"grew", change([&] { std::ofstream(path, std::ios::app) << "more"; }),
         FileTransfer::kFailed},
        {"shrank", change([&] { fs::resize_file(path, 10); }), FileTransfer::kFailed},
        {"vanished", change([&] { fs::remove(path); }), FileTransfer::kFailed},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        makeFile("a.bin", content);
        const int listener = Peer::listen(FileTransfer::kPort);
        auto sent = FileTransfer::newOutgoingFiles({path}, *peer_, mainQueue());
        withPeer([&] { return Peer::serve(listener, c.script); }, {sent});
        EXPECT_EQ(sent->transferState(), c.state);
        EXPECT_LT(sent->bytesReceived(), 16 << 20);
    }
}

// Connections that never send their offer are cut by the line wait; above the cap for one
// address a new one is closed at once, so idle peers cannot take every descriptor.
TEST_F(FileTransferTest, IdleConnectionsAreCutByTheLineWaitAndHeldOnlyUpToTheCap) {
    listen();
    files_->setTransferWaits({3.0, 3.0});
    constexpr std::size_t kOver = 4;
    constexpr std::size_t kCap = IncomingTransferLimit::kPerAddress;
    std::vector<int> idle;
    for (std::size_t i = 0; i < kCap + kOver; ++i) {
        idle.push_back(Peer::connectIdle(FileTransfer::kPort));
        ASSERT_GE(idle.back(), 0);
    }
    const auto closed = [&](std::size_t from, std::size_t to) {
        return std::all_of(idle.begin() + from, idle.begin() + to, Peer::closedByTheOtherEnd);
    };
    EXPECT_TRUE(runUntil([&] { return closed(kCap, idle.size()); }));
    EXPECT_FALSE(std::any_of(idle.begin(), idle.begin() + kCap, Peer::closedByTheOtherEnd));
    EXPECT_TRUE(runUntil([&] { return closed(0, idle.size()); }));
    for (const int fd : idle) {
        ::close(fd);
    }
    // They left no record and hold no place: a real offer goes through.
    withPeer([&] {
        return Peer::connect(
            FileTransfer::kPort,
            {Peer::Write(offerLine("0", "1", "1")), Peer::ReadLine(),
             Peer::Write(fileHeader("", "one.txt", "1")), Peer::ReadLine(), Peer::Write("x")});
    });
    ASSERT_EQ(incoming_.size(), 1u);
    EXPECT_EQ(incoming_.back()->transferState(), FileTransfer::kComplete);
}

// A peer that stops mid-file without closing (its machine went): each side fails the
// transfer once no byte moved for the stall wait, and no partial file stays.
TEST_F(FileTransferTest, APeerThatFallsSilentMidFileFailsTheTransferOnBothSides) {
    const FileTransfer::Waits waits{5.0, 1.0};
    // Runs the peer, which falls silent at its last step until the transfer has ended (at
    // most 20 s); answers whether the transfer ended while the peer still held on.
    const auto endsWhilePeerIsSilent = [&](const std::function<void(Peer::Step)>& peer,
                                           const std::function<bool()>& ended) {
        std::atomic<bool> over = false;
        std::atomic<bool> endedFirst = false;
        std::thread thread(peer, Peer::Act([&] {
                               const auto limit =
                                   std::chrono::steady_clock::now() + std::chrono::seconds(20);
                               while (!over && std::chrono::steady_clock::now() < limit) {
                                   std::this_thread::sleep_for(std::chrono::milliseconds(10));
                               }
                               endedFirst = over.load();
                           }));
        EXPECT_TRUE(runUntil(ended));
        over = true;
        thread.join();
        real_.runPending();
        return endedFirst.load();
    };

    listen();
    files_->setTransferWaits(waits);
    const std::string content = pattern(2'000'000, 9);
    EXPECT_TRUE(endsWhilePeerIsSilent(
        [&](Peer::Step silence) {
            Peer::connect(FileTransfer::kPort,
                          {Peer::Write(offerLine("0", "1", "2000000")), Peer::ReadLine(),
                           Peer::Write(fileHeader("", "half.bin", "2000000")), Peer::ReadLine(),
                           Peer::Write(content.substr(0, 1'000'000)), silence});
        },
        [&] { return !incoming_.empty() && !incoming_.back()->isRunning(); }));
    ASSERT_EQ(incoming_.size(), 1u);
    EXPECT_EQ(incoming_.back()->transferState(), FileTransfer::kFailed);
    EXPECT_TRUE(tree(incoming_.back()->folderPath()).empty());
    files_.reset();

    // Larger than what the connection's buffers take in before the peer reads.
    const fs::path path = makeFile("big.bin", pattern(16 << 20, 10));
    const int listener = Peer::listen(FileTransfer::kPort);
    auto sent = FileTransfer::newOutgoingFiles({path}, *peer_, mainQueue());
    sent->setWaits(waits);
    EXPECT_TRUE(endsWhilePeerIsSilent(
        [&](Peer::Step silence) {
            Peer::serve(listener, {Peer::ReadLine(), Peer::Write(decisionLine("1", "1")),
                                   Peer::ReadLine(), Peer::Write(answerOne()), silence});
        },
        [&] { return !sent->isRunning(); }));
    EXPECT_EQ(sent->transferState(), FileTransfer::kFailed);
}

TEST_F(FileTransferTest, TheSenderIsCompleteOnlyWhenTheReceiverHasStoredEverything) {
    listen();
    constexpr std::size_t kSize = 3'000'000;
    const fs::path path = makeFile("disk.bin", pattern(kSize, 9));
    // The receiver's disk refuses a byte in the middle of the file, or only the very last one:
    // everything has been read then, and a plain close would look like success.
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit before{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &before), 0);
    for (const rlim_t limit : {rlim_t{kSize / 2}, rlim_t{kSize - 1}}) {
        SCOPED_TRACE(limit);
        const std::size_t count = incoming_.size();
        const rlimit full{limit, before.rlim_max};
        ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &full), 0);
        auto sent = files_->outgoingFiles({path}, *peer_);
        const bool ended = sent && runUntil([&] {
                               return !sent->isRunning() && incoming_.size() == count + 1 &&
                                      !incoming_.back()->isRunning();
                           });
        ::setrlimit(RLIMIT_FSIZE, &before);
        ASSERT_TRUE(ended);
        EXPECT_EQ(incoming_.back()->transferState(), FileTransfer::kFailed);
        EXPECT_EQ(sent->transferState(), FileTransfer::kFailed);
        EXPECT_EQ(incoming_.back()->filesTransferred(), 0);
    }
    std::signal(SIGXFSZ, oldHandler);
}

TEST_F(FileTransferTest, AfterARestartRunningAndWaitingTransfersHaveFailed) {
    for (const std::int64_t state : {1, 5, 6, 7, 0, 4}) {
        auto transfer = context_->insert<FileTransfer>();
        transfer->setTransferState(state);
        transfer->setFilesTotalSize(100 + state);
        transfer->addUserObject(*peer_);
    }
    context_->save();
    restart();
    auto user = userList_->getUserById("A4242", std::nullopt);
    std::map<std::int64_t, std::pair<std::int64_t, std::int64_t>> found;
    // Each once, though reading them in changes some of them.
    const auto entries = user->lastLogEnties(0);
    EXPECT_EQ(entries.size(), 6u);
    for (const auto& entry : entries) {
        auto transfer = std::dynamic_pointer_cast<FileTransfer>(entry);
        ASSERT_NE(transfer, nullptr);
        found[transfer->filesTotalSize() - 100] = {transfer->transferState(),
                                                   transfer->bytesReceived()};
    }
    const std::map<std::int64_t, std::pair<std::int64_t, std::int64_t>> expected{
        {1, {7, 0}}, {5, {7, 0}}, {6, {6, 122}}, {7, {7, 0}}, {0, {0, 0}}, {4, {4, 0}}};
    EXPECT_EQ(found, expected);
}

}  // namespace
}  // namespace corvaline::testing
