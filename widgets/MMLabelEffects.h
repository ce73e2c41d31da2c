#pragma once

#include "widgets/MMColors.h"

#include <cstdint>
#include <optional>
#include <vector>

enum TMMLabelStyle { lsNone = 0, lsCustom = 1, lsRaised = 2, lsSunken = 3, lsShadow = 4, lsFlying = 5 };
enum TMMLabelDirection {
    ldNone = 0,
    ldUp,
    ldUpRight,
    ldRight,
    ldDownRight,
    ldDown,
    ldDownLeft,
    ldLeft,
    ldUpLeft
};
enum TMMLabelOption { loNormal = 0, loExtrude = 1 };
using TMMLabelDepth = std::uint8_t;

struct TMMLabelVector {
    int dx = 0;
    int dy = 0;
    bool operator==(const TMMLabelVector &) const = default;
};

// Screen y grows downward.
TMMLabelVector MMLabelDirectionVector(TMMLabelDirection direction);

// The values an effect preset sets; lsCustom sets none.
struct TMMLabelPreset {
    TMMLabelDirection DirectionHighlight;
    TMMLabelDirection DirectionShadow;
    TMMLabelDepth DepthHighlight;
    TMMLabelDepth DepthShadow;
    TColor ColourHighlight;
    bool AsButtonOff;
};
std::optional<TMMLabelPreset> MMLabelPreset(TMMLabelStyle style);

struct TMMLabelEffect {
    TMMLabelDirection DirectionHighlight = ldUpLeft;
    TMMLabelDirection DirectionShadow = ldDownRight;
    int DepthHighlight = 1;
    int DepthShadow = 1;
    TMMLabelOption StyleHighlight = loNormal;
    TMMLabelOption StyleShadow = loNormal;
};

enum TMMLabelLayerKind { lkShadow, lkHighlight, lkCaption };

// One text layer, offset from the client rectangle, in drawing order.
struct TMMLabelLayer {
    TMMLabelLayerKind Kind;
    int dx;
    int dy;
    bool operator==(const TMMLabelLayer &) const = default;
};

// Shadow layers (deepest first, all of them when extruded), then highlight
// layers the same way, then the caption. The whole group is moved so that no
// layer leaves the top-left corner, and right or centred text moves left by
// the group's spread (or half of it) so that it stays inside.
// `alignment`: 0 left, 1 right, 2 centre.
std::vector<TMMLabelLayer> MMLabelLayers(const TMMLabelEffect &effect, int alignment);
