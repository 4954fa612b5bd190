#include "core/codec/PacketCodec.h"
#include "core/model/defaults/DefaultsKeys.h"
#include "platform/defaults/UserDefaults.h"

namespace corvaline {
namespace {

// The packet text encoding as the user default "encoding". Main thread only.
class DefaultsEncodingSetting final : public EncodingSetting {
  public:
    long long read() const override {
        return UserDefaults::standard().integerForKey(defaults::kEncoding);
    }
    void write(long long encoding) override {
        UserDefaults::standard().setInteger(defaults::kEncoding, encoding);
    }
};

}  // namespace

PacketCodec& PacketCodec::shared() {
    static PacketCodec codec(std::make_unique<DefaultsEncodingSetting>());
    return codec;
}

}  // namespace corvaline
