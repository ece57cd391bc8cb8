#include "sim/camera_blocks.h"

#include <gtest/gtest.h>

#include <cstring>

#include "camera_test_support.h"

namespace ots::sim {
namespace {

using camtest::Hex;

Block BlockOf(std::initializer_list<std::pair<std::size_t, camtest::Bytes>> parts) {
    Block block{};
    for (const auto& [at, bytes] : parts) {
        std::copy(bytes.begin(), bytes.end(), block.begin() + static_cast<std::ptrdiff_t>(at));
    }
    return block;
}

CameraParams SampleLens() {
    CameraParams lens;
    lens.flags = 0x01;
    lens.firstPixel = 8;
    lens.lastPixel = 632;
    lens.p = {1.0f, 0.5f, 0, 0, 0, 0, 0, -1.5f};
    lens.J = -2.0f;
    lens.K = 0.25f;
    return lens;
}

PanelParams SamplePanel() {
    return PanelParams{.PanelWidth = 800,
                       .PanelHeight = 600,
                       .fps = 100,
                       .MaxSpeed = 15000,
                       .camOffsetY = -15,
                       .camLOffsetX = -20,
                       .camROffsetX = 20,
                       .VelocityRefCount = 5,
                       .VelocityWeight = 0.25f};
}

TEST(CameraParamsBlock, LaysOutEveryFieldAtItsOffset) {
    const Block expected = BlockOf({{0, {0x01}},
                                    {2, {0x08, 0x00, 0x00, 0x00}},
                                    {6, {0x78, 0x02, 0x00, 0x00}},
                                    {10, {0x00, 0x00, 0x80, 0x3F}},    // p0 1.0
                                    {14, {0x00, 0x00, 0x00, 0x3F}},    // p1 0.5
                                    {38, {0x00, 0x00, 0xC0, 0xBF}},    // p7 -1.5
                                    {42, {0x00, 0x00, 0x00, 0xC0}},    // J -2.0
                                    {46, {0x00, 0x00, 0x80, 0x3E}}});  // K 0.25
    const Block encoded = EncodeCameraParams(SampleLens());
    EXPECT_EQ(Hex(encoded), Hex(expected));
}

TEST(PanelParamsBlock, LaysOutEveryFieldAtItsOffset) {
    const Block expected = BlockOf({{2, {0x20, 0x03, 0x00, 0x00}},
                                    {6, {0x58, 0x02, 0x00, 0x00}},
                                    {10, {0x64, 0x00, 0x00, 0x00}},
                                    {14, {0x98, 0x3A, 0x00, 0x00}},
                                    {18, {0xF1, 0xFF, 0xFF, 0xFF}},
                                    {22, {0xEC, 0xFF, 0xFF, 0xFF}},
                                    {26, {0x14, 0x00, 0x00, 0x00}},
                                    {30, {0x05, 0x00, 0x00, 0x00}},
                                    {34, {0x00, 0x00, 0x80, 0x3E}}});
    EXPECT_EQ(Hex(EncodePanelParams(SamplePanel())), Hex(expected));
}

TEST(PanelParamsBlock, IsUsableOnlyWithEveryDriverCondition) {
    EXPECT_TRUE(IsUsablePanelParams(SamplePanel()));
    const auto with = [](auto change) {
        PanelParams p = SamplePanel();
        change(p);
        return IsUsablePanelParams(p);
    };
    EXPECT_FALSE(with([](PanelParams& p) { p.fps = 0; }));
    EXPECT_FALSE(with([](PanelParams& p) { p.PanelWidth = 0; }));
    EXPECT_FALSE(with([](PanelParams& p) { p.PanelHeight = 0; }));
    EXPECT_FALSE(with([](PanelParams& p) { p.MaxSpeed = 0; }));
    EXPECT_FALSE(with([](PanelParams& p) { p.VelocityRefCount = 0; }));
    EXPECT_TRUE(with([](PanelParams& p) { p.VelocityWeight = 0.0f; }));
    EXPECT_TRUE(with([](PanelParams& p) { p.VelocityWeight = 0.999f; }));
    EXPECT_FALSE(with([](PanelParams& p) { p.VelocityWeight = 1.0f; }));
    EXPECT_FALSE(with([](PanelParams& p) { p.VelocityWeight = -0.01f; }));
    // camROffsetX - camLOffsetX + width must stay positive.
    EXPECT_FALSE(with([](PanelParams& p) { p.camLOffsetX = 820; }));
    EXPECT_TRUE(with([](PanelParams& p) { p.camLOffsetX = 819; }));
}

TEST(VersionBlock, CarriesMinorMajorBuildAndReadableText) {
    const Block block =
        EncodeVersionBlock(FirmwareVersion{.major = 2, .minor = 3, .build = 0x1234});
    EXPECT_EQ(block[0], 3);  // the about box shows byte 1 "." byte 0
    EXPECT_EQ(block[1], 2);
    EXPECT_EQ(block[2], 0x34);
    EXPECT_EQ(block[3], 0x12);
    const char* text = reinterpret_cast<const char*>(block.data() + kVersionTextOffset);
    EXPECT_STREQ(text, "firmware 2.3 build 4660");
    for (std::size_t i = kVersionTextOffset + std::strlen(text); i < block.size(); ++i) {
        EXPECT_EQ(block[i], 0) << "byte " << i;
    }
}

TEST(VersionBlock, LongestTextStaysWithinItsField) {
    const Block block =
        EncodeVersionBlock(FirmwareVersion{.major = 255, .minor = 255, .build = 65535});
    EXPECT_EQ(block[kVersionTextOffset + kVersionTextSize - 1], 0);
    const char* text = reinterpret_cast<const char*>(block.data() + kVersionTextOffset);
    EXPECT_STREQ(text, "firmware 255.255 build 65535");
}

}  // namespace
}  // namespace ots::sim
