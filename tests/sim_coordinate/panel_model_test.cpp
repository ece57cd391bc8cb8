// The panel model: screen pixels to raw panel values through a mounting error and noise.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "sim/panel_model.h"

namespace ots::sim {
namespace {

constexpr int kWidth = 800;
constexpr int kHeight = 600;

struct NamedMounting {
    const char* name;
    Mounting mounting;
};

std::vector<NamedMounting> Distortions() {
    Mounting offset;
    offset.offsetX = 120.0;
    offset.offsetY = -80.0;
    Mounting scale;
    scale.scaleX = 0.92;
    scale.scaleY = 1.05;
    Mounting rotation;
    rotation.rotationDeg = 2.5;
    Mounting radial;
    radial.radialK = 0.04;
    Mounting all;
    all.offsetX = -60.0;
    all.offsetY = 45.0;
    all.scaleX = 0.95;
    all.scaleY = 0.9;
    all.rotationDeg = -1.5;
    all.radialK = -0.03;
    return {{"identity", {}},       {"offset", offset}, {"scale", scale},
            {"rotation", rotation}, {"radial", radial}, {"everything", all}};
}

// Points well inside the screen, so that no distortion pushes them past the raw range.
std::vector<ScreenPoint> Grid() {
    std::vector<ScreenPoint> points;
    for (double x = 80; x <= kWidth - 80; x += 80) {
        for (double y = 60; y <= kHeight - 60; y += 60) {
            points.push_back({x, y});
        }
    }
    return points;
}

TEST(PanelModel, IdentityMountingSpansTheWholeRawRange) {
    PanelModel panel(kWidth, kHeight);
    const RawPoint topLeft = panel.ToRaw(0, 0);
    const RawPoint bottomRight = panel.ToRaw(kWidth, kHeight);
    const RawPoint centre = panel.ToRaw(kWidth / 2.0, kHeight / 2.0);

    EXPECT_EQ(topLeft.x, 0);
    EXPECT_EQ(topLeft.y, 0);
    EXPECT_EQ(bottomRight.x, 4095);
    EXPECT_EQ(bottomRight.y, 4095);
    EXPECT_EQ(centre.x, 2048);  // 2047.5 rounds away from zero
    EXPECT_EQ(centre.y, 2048);
}

TEST(PanelModel, MountingErrorsMoveRawValuesTheWayTheyAreNamed) {
    Mounting offset;
    offset.offsetX = 100.0;
    offset.offsetY = -50.0;
    PanelModel shifted(kWidth, kHeight, offset);
    double x = 0;
    double y = 0;
    shifted.IdealRaw(kWidth / 2.0, kHeight / 2.0, x, y);
    EXPECT_DOUBLE_EQ(x, 2047.5 + 100.0);
    EXPECT_DOUBLE_EQ(y, 2047.5 - 50.0);

    Mounting quarterTurn;
    quarterTurn.rotationDeg = 90.0;
    PanelModel turned(kWidth, kHeight, quarterTurn);
    // The right edge's midpoint turns to the bottom edge's midpoint.
    turned.IdealRaw(kWidth, kHeight / 2.0, x, y);
    EXPECT_NEAR(x, 2047.5, 1e-9);
    EXPECT_NEAR(y, 4095.0, 1e-9);

    Mounting barrel;
    barrel.radialK = 0.05;
    PanelModel bulged(kWidth, kHeight, barrel);
    bulged.IdealRaw(kWidth * 0.75, kHeight / 2.0, x, y);
    EXPECT_GT(x, 0.75 * 4095.0);  // pushed outwards, away from the centre
}

TEST(PanelModel, InverseUndoesEveryMountingError) {
    for (const auto& [name, mounting] : Distortions()) {
        const PanelModel panel(kWidth, kHeight, mounting);
        for (const ScreenPoint p : Grid()) {
            double rawX = 0;
            double rawY = 0;
            panel.IdealRaw(p.xPx, p.yPx, rawX, rawY);
            const ScreenPoint back = panel.ToScreen(rawX, rawY);
            EXPECT_NEAR(back.xPx, p.xPx, 1e-6) << name;
            EXPECT_NEAR(back.yPx, p.yPx, 1e-6) << name;
        }
    }
}

TEST(PanelModel, MeasurementsStayWithinTheRawRange) {
    Mounting offset;
    offset.offsetX = 500.0;
    offset.offsetY = -500.0;
    PanelModel panel(kWidth, kHeight, offset);
    const RawPoint corner = panel.ToRaw(kWidth, 0);
    EXPECT_EQ(corner.x, 4095);
    EXPECT_EQ(corner.y, 0);
    const RawPoint outside = panel.ToRaw(-1000, 5000);
    EXPECT_EQ(outside.x, 0);
    EXPECT_EQ(outside.y, 4095);
}

}  // namespace
}  // namespace ots::sim
