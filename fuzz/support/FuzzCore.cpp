#include "support/FuzzCore.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sqlite3.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "FixedEncodingSetting.h"
#include "core/codec/PacketCodec.h"
#include "core/codec/UnicodeField.h"
#include "core/model/defaults/DefaultsKeys.h"
#include "core/model/entities/Chat.h"
#include "core/model/entities/Me.h"
#include "core/model/entities/MessageForForwarding.h"
#include "core/model/relay/MessageRelay.h"
#include "core/model/roster/UserList.h"
#include "core/model/services/CoreServices.h"
#include "core/model/store/AppStore.h"
#include "core/model/store/ObjectContext.h"
#include "core/net/FILEserver.h"
#include "core/net/ModelHooks.h"
#include "core/net/TCPserver.h"
#include "core/net/UDPserver.h"
#include "platform/defaults/UserDefaults.h"
#include "support/PacketTypes.h"

namespace corvaline::fuzzing {

namespace {

// The store is opened again this often (it must load what the handlers left) and made afresh
// this often (so that the records of strangers do not pile up and slow every lookup).
constexpr std::uint64_t kReopenEvery = 64;
constexpr std::uint64_t kFreshEvery = 1024;
// The code page of the peers that read the replies (any would do: it changes the texts only).
constexpr long long kPeerEncoding = 12;

constexpr std::array<std::string_view, 3> kPeers = {"fuzz-peer-a", "fuzz-peer-b", "fuzz-peer-c"};
constexpr std::array<std::string_view, 3> kPeerIps = {"192.0.2.1", "192.0.2.2", "192.0.2.3"};
constexpr std::string_view kRoom = "424242";
constexpr std::int64_t kHeldMessage = 777001;
// Numbers at the edges of what a reader parses or a conversion holds.
constexpr std::array<std::string_view, 10> kHuge = {"9223372036854775807",
                                                    "-9223372036854775808",
                                                    "18446744073709551616",
                                                    "99999999999",
                                                    "4294967296",
                                                    "2147483648",
                                                    "1e999",
                                                    "1125899906842625",
                                                    "0x7fffffff",
                                                    "00000000000000000000000000001"};
constexpr std::array<std::string_view, 10> kPaths = {
    "..", "../outside", "/absolute", "a/../../b", "dir/sub/file",
    ".",  "a/./b",      "dir/",      "\\..",      "../../../../../../escape"};

[[noreturn]] void broken(const std::string& what) {
    std::fprintf(stderr, "fuzz invariant broken: %s\n", what.c_str());
    std::fflush(stderr);
    __builtin_trap();
}

// A sandbox folder in memory when the machine has one: the store saves after every input.
std::filesystem::path makeRoot() {
    std::filesystem::path base = "/dev/shm";
    if (::access(base.c_str(), W_OK) != 0) {
        base = std::filesystem::temp_directory_path();
    }
    // A run that crashed or was stopped leaves its folder: gone once its process is.
    const std::string prefix = "corvaline-fuzz-";
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(base, error)) {
        const std::string name = entry.path().filename().string();
        if (name.starts_with(prefix) &&
            ::kill(static_cast<pid_t>(std::atol(name.c_str() + prefix.size())), 0) != 0 &&
            errno == ESRCH) {
            std::filesystem::remove_all(entry.path(), error);
        }
    }
    std::string pattern = (base / (prefix + std::to_string(::getpid()) + "-XXXXXX")).string();
    if (!::mkdtemp(pattern.data())) {
        broken("no sandbox folder");
    }
    return pattern;
}

bool isWithin(const std::filesystem::path& path, const std::filesystem::path& folder) {
    const auto relative = path.lexically_relative(folder);
    return !relative.empty() && *relative.begin() != "..";
}

}  // namespace

FuzzCore& FuzzCore::shared() {
    static FuzzCore core;
    return core;
}

FuzzCore::FuzzCore()
    : root_(makeRoot()),
      sandbox_(root_ / "1" / "2" / "3" / "4"),
      home_(sandbox_ / "home"),
      receiving_(sandbox_ / "received"),
      clock_(std::make_shared<VirtualClock>()),
      loop_(std::make_shared<MainLoop>(clock_)),
      modelQueue_(*loop_) {
    std::filesystem::create_directories(home_);
    std::filesystem::create_directories(receiving_);
    ::setenv("HOME", home_.c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (home_ / ".config").c_str(), 1);
    ::unsetenv("XDG_DATA_HOME");
    ::unsetenv("APP_SANDBOX_CONTAINER_ID");
    UserDefaults::standard().setString(defaults::kFileTransferPath, receiving_.string());

    auto& services = CoreServices::shared();
    services.mainQueue = &modelQueue_;
    services.windows = &windows_;
    services.activity = &activity_;
    // Nothing may connect anywhere: requests the handlers send are only recorded.
    services.messages = &messages_;
    const auto start = clock_->now();
    const Date wallStart = std::chrono::system_clock::now();
    services.clock = [this, start, wallStart] { return wallStart + (clock_->now() - start); };
    relay_ = std::make_unique<MessageRelay>(*loop_);
    services.relay = relay_.get();
    // Made without their listeners and sockets: sending through them goes nowhere.
    tcp_ = std::make_shared<TCPserver>(TCPserver::Private{}, loop_, modelHooks());
    udp_ = std::make_shared<UDPserver>(UDPserver::Private{}, loop_);
    services.presence = udp_.get();
    files_ = std::make_shared<FILEserver>(FILEserver::Private{}, loop_);
    openStore();
    seed();
}

FuzzCore::~FuzzCore() {
    closeReader();
    closeStore();
    CoreServices::shared() = CoreServices{};
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
}

void FuzzCore::openStore() {
    auto* context = AppManagedObjectContext();
    if (!context) {
        broken("the store does not open");
    }
    userList_ = std::make_unique<UserList>(context);
    userList_->updateMe();
    CoreServices::shared().userList = userList_.get();
    if (!userList_->me()) {
        broken("the local user does not load");
    }
}

void FuzzCore::closeStore() {
    SaveAppContextIfChanged();
    modelQueue_.cancelTimers();
    CoreServices::shared().userList = nullptr;
    userList_.reset();
    AppStore::shared().close();
}

void FuzzCore::seed() {
    auto* context = AppManagedObjectContext();
    peers_.assign(kPeers.begin(), kPeers.end());
    peerIps_.assign(kPeerIps.begin(), kPeerIps.end());
    Chat::Members members;
    for (std::size_t i = 0; i < kPeers.size(); ++i) {
        auto user = userList_->getUserById(kPeers[i], std::string(kPeerIps[i]));
        user->setName("Peer " + std::to_string(i + 1));
        user->setStatus("0");
        members.push_back(user);
    }
    if (Chat::createWithUsers({members[0], members[1]}, std::string(kRoom))) {
        rooms_ = {std::string(kRoom)};
    }
    auto held = context->insert<MessageForForwarding>();
    held->setTime(CoreServices::shared().now());
    held->setMass(false);
    held->setMessageId(kHeldMessage);
    held->setMessage(PacketCodec::shared().EncryptString("held", true).value_or(Bytes{}));
    held->setSender(members[0].get());
    held->addRecipientsObject(*members[1]);
    held->addRecipientsObject(*members[2]);
    heldMessages_ = {kHeldMessage};
    loop_->runPending();
    SaveAppContextIfChanged();
    messages_.sent.clear();
}

void FuzzCore::finishInput() {
    loop_->runPending();
    SaveAppContextIfChanged();
    messages_.sent.clear();
    windows_.calls.clear();
    windows_.errors.clear();
    windows_.window->calls.clear();
    checkSandbox();
    checkStoreOpens();
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(receiving_, ignored)) {
        std::filesystem::remove_all(entry.path(), ignored);
    }
    ++inputs_;
    if (inputs_ % kFreshEvery == 0) {
        closeReader();
        closeStore();
        std::filesystem::remove_all(AppStore::shared().applicationFilesDirectory(), ignored);
        openStore();
        seed();
    } else if (inputs_ % kReopenEvery == 0) {
        closeStore();
        openStore();
    }
}

// Every level from the root down to the sandbox holds only the next one, and the sandbox only
// the home and the receiving folder (whatever lies inside those two is allowed).
void FuzzCore::checkSandbox() const {
    for (auto folder = sandbox_; isWithin(folder, root_) || folder == root_;
         folder = folder.parent_path()) {
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
            const auto& path = entry.path();
            if (!(folder == sandbox_ ? path == home_ || path == receiving_
                                     : isWithin(sandbox_, path) || path == sandbox_)) {
                broken("written outside the sandbox's folders: " + path.string());
            }
        }
        if (folder == root_) {
            break;
        }
    }
}

// The store file as another program reads it, through a connection of its own kept open
// (opening one per input would cost more than the input); the store itself is opened again
// every few inputs.
void FuzzCore::checkStoreOpens() {
    if (!reader_) {
        const auto file = AppStore::shared().applicationFilesDirectory() / AppStore::kStoreFile;
        if (sqlite3_open_v2(file.c_str(), &reader_, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
            broken("the store file does not open: " + file.string());
        }
    }
    int tables = -1;
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(reader_, "SELECT COUNT(*) FROM sqlite_master", -1, &statement,
                           nullptr) == SQLITE_OK &&
        sqlite3_step(statement) == SQLITE_ROW) {
        tables = sqlite3_column_int(statement, 0);
    }
    sqlite3_finalize(statement);
    if (tables <= 0) {
        broken("the store file cannot be read: " + std::string(sqlite3_errmsg(reader_)));
    }
}

void FuzzCore::closeReader() {
    sqlite3_close(reader_);
    reader_ = nullptr;
}

FuzzCore::Wire FuzzCore::packet(FuzzInput& input, const std::vector<std::string_view>& types) {
    std::vector<Packet::Field> fields;
    const std::uint8_t type = input.byte();
    fields.emplace_back(type < types.size() ? std::string(types[type]) : resolve(input.choice()));
    Wire wire{std::nullopt, address(input.byte())};
    const std::size_t count = input.byte() % 16;
    for (std::size_t i = 0; i < count; ++i) {
        const auto choice = input.choice();
        if (choice.kind == Value::unicode) {
            fields.emplace_back(EncodeUnicodeField(choice.text));
        } else {
            fields.emplace_back(resolve(choice));
        }
    }
    wire.bytes = PacketCodec::shared().PlainPacket(Packet(std::move(fields)));
    return wire;
}

void FuzzCore::deliver(const Wire& wire) {
    static constexpr std::string_view kReplyTypes[] = {"TMR",   "TSI",   "CRRR",
                                                       "CRGRR", "CRSMR", "CRLRR"};
    if (!wire.bytes) {
        return;
    }
    auto& codec = PacketCodec::shared();
    const auto packet = codec.ArrayFromBase64AESdata(*wire.bytes);
    if (!packet) {
        return;  // the services drop what does not decode before any handler sees it
    }
    const auto isOneOf = [](std::string_view type, const auto& types) {
        return std::find(std::begin(types), std::end(types), type) != std::end(types);
    };
    if (isOneOf(packet->text(0), kPresenceTypes)) {
        udp_->udpSocketDidReceiveData(nullptr, *wire.bytes, socketAddressOf(wire.ip), {});
        return;
    }
    // A connection that never connects: what the service writes on it stays queued.
    const auto socket = AsyncTcpSocket::create(tcp_, loop_);
    auto reply = tcp_->answer(*packet, wire.ip, socket);
    if (!reply) {
        return;
    }
    reply->insert(reply->end(), {'\r', '\n'});
    // Read as the asking peer reads it, with a codec of its own: this one's list of recent
    // packet ids may hold the reply's random id by chance.
    PacketCodec peer(std::make_unique<FixedEncodingSetting>(kPeerEncoding));
    const auto read = peer.ArrayFromBase64AESdata(*reply);
    if (!read || !isOneOf(read->text(0), kReplyTypes)) {
        broken("a reply to \"" + std::string(packet->text(0)) + "\" does not decode as one");
    }
}

void FuzzCore::deliverAll(FuzzInput& input, const std::vector<std::string_view>& types) {
    constexpr int kMostPackets = 8;
    for (int i = 0; i < kMostPackets && !input.empty(); ++i) {
        deliver(packet(input, types));
    }
    finishInput();
}

std::string FuzzCore::resolve(const FuzzInput::Choice& choice) const {
    const std::uint8_t arg = choice.arg;
    const Me* me = userList_->me().get();
    switch (choice.kind) {
        case Value::raw:
        case Value::unicode:
            return choice.text;
        case Value::star:
            return "*";
        case Value::empty:
        case Value::count:
            return "";
        case Value::myId:
            return me->userId();
        case Value::peerId:
            return peers_[arg % peers_.size()];
        case Value::strangerId:
            return "stranger-" + std::to_string(arg);
        case Value::peerIp:
            return address(arg);
        case Value::roomId:
            return arg < 128 && !rooms_.empty() ? rooms_[arg % rooms_.size()] : std::to_string(arg);
        case Value::messageId:
            return std::to_string(heldMessages_[arg % heldMessages_.size()] + arg / 16);
        case Value::number:
            return std::to_string(arg);
        case Value::negative:
            return "-" + std::to_string(arg);
        case Value::huge:
            return std::string(kHuge[arg % kHuge.size()]);
        case Value::peerList: {
            std::string list;
            const auto add = [&list](std::string_view id) {
                list += (list.empty() ? "" : ",") + std::string(id);
            };
            for (std::size_t i = 0; i < peers_.size(); ++i) {
                if (arg & (1u << i)) {
                    add(peers_[i]);
                }
            }
            if (arg & 8u) {
                add(me->userId());
            }
            if (arg & 16u) {
                add("stranger");
            }
            if (arg & 32u) {
                list += ",,";
            }
            return list;
        }
        case Value::mySession:
            return std::to_string(me->sessionId().value_or(0));
        case Value::path:
            return std::string(kPaths[arg % kPaths.size()]);
    }
    return "";
}

std::string FuzzCore::address(std::uint8_t choice) const {
    switch (choice % 8) {
        case 0:
        case 1:
        case 2:
            return peerIps_[choice % 8];
        case 3:
            return "198.51.100." + std::to_string(choice);
        case 4:
            return "";
        case 5:
            return "127.0.0.1";
        case 6:
            return userList_->me()->ip();
        default:
            return "2001:db8::" + std::to_string(choice);
    }
}

Data FuzzCore::socketAddressOf(const std::string& ip) {
    sockaddr_in v4{};
    sockaddr_in6 v6{};
    const auto bytes = [](const auto& address) {
        const auto* begin = reinterpret_cast<const std::uint8_t*>(&address);
        return Data(begin, begin + sizeof address);
    };
    if (::inet_pton(AF_INET, ip.c_str(), &v4.sin_addr) == 1) {
        v4.sin_family = AF_INET;
        return bytes(v4);
    }
    if (::inet_pton(AF_INET6, ip.c_str(), &v6.sin6_addr) == 1) {
        v6.sin6_family = AF_INET6;
        return bytes(v6);
    }
    return {};
}

}  // namespace corvaline::fuzzing
