// What the codec adds around the cipher: encoding and decoding one message packet of about
// 200 bytes beside the AES calls alone on the same plaintext and ciphertext.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <memory>
#include <string>

#include "core/codec/PacketCodec.h"
#include "core/codec/ProgramKey.h"
#include "core/codec/UnicodeField.h"
#include "platform/crypto/Aes256Cbc.h"
#include "platform/crypto/Base64.h"

namespace corvaline {
namespace {

class FixedEncodingSetting final : public EncodingSetting {
  public:
    long long read() const override { return 12; }
    void write(long long) override {}
};

PacketCodec& benchCodec() {
    static PacketCodec codec(std::make_unique<FixedEncodingSetting>());
    return codec;
}

Packet messagePacket() {
    const std::string text(120, 'm');
    return Packet{"TSM", "12345678901234", "workstation-17",         "A123456789",
                  "*",   "A987654321",     EncodeUnicodeField(text), "*"};
}

Bytes plaintextOf(const Packet& packet) {
    const Bytes wire = benchCodec().PlainPacket(packet).value();
    Bytes plain =
        aes256CbcDecryptRaw(kProgramKey, kZeroIv, base64DecodeSkippingJunk(wire).value()).value();
    plain.resize(plain.size() - plain.back());
    return plain;
}

void encodeDecode(benchmark::State& state) {
    const Packet packet = messagePacket();
    state.counters["plaintext bytes"] = static_cast<double>(plaintextOf(packet).size());
    for (auto _ : state) {
        const auto wire = benchCodec().PlainPacket(packet);
        benchmark::DoNotOptimize(benchCodec().ArrayFromBase64AESdata(*wire));
    }
}
BENCHMARK(encodeDecode);

void aesAlone(benchmark::State& state) {
    const Bytes plain = plaintextOf(messagePacket());
    for (auto _ : state) {
        const auto cipher = aes256CbcEncrypt(kProgramKey, kZeroIv, plain);
        benchmark::DoNotOptimize(aes256CbcDecryptRaw(kProgramKey, kZeroIv, *cipher));
    }
}
BENCHMARK(aesAlone);

// Keeps each benchmark's time per iteration for the ratio printed at the end.
class RecordingReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            nanoseconds[run.benchmark_name()] = run.GetAdjustedRealTime();
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> nanoseconds;
};

}  // namespace
}  // namespace corvaline

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    corvaline::RecordingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const auto& times = reporter.nanoseconds;
    if (times.count("encodeDecode") != 0 && times.count("aesAlone") != 0 &&
        times.at("aesAlone") > 0) {
        std::printf("encode+decode %.0f ns, AES alone %.0f ns, ratio %.2f\n",
                    times.at("encodeDecode"), times.at("aesAlone"),
                    times.at("encodeDecode") / times.at("aesAlone"));
    }
    benchmark::Shutdown();
    return 0;
}
