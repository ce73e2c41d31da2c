#include "widgets/MMLabelEffects.h"

#include <algorithm>

TMMLabelVector MMLabelDirectionVector(TMMLabelDirection direction) {
    switch (direction) {
    case ldUp:
        return {0, -1};
    case ldUpRight:
        return {1, -1};
    case ldRight:
        return {1, 0};
    case ldDownRight:
        return {1, 1};
    case ldDown:
        return {0, 1};
    case ldDownLeft:
        return {-1, 1};
    case ldLeft:
        return {-1, 0};
    case ldUpLeft:
        return {-1, -1};
    default:
        return {0, 0};
    }
}

std::optional<TMMLabelPreset> MMLabelPreset(TMMLabelStyle style) {
    switch (style) {
    case lsNone:
        return TMMLabelPreset{ldNone, ldNone, 0, 0, clWhite, true};
    case lsRaised:
        return TMMLabelPreset{ldUpLeft, ldDownRight, 1, 1, clWhite, false};
    case lsSunken:
        return TMMLabelPreset{ldDownRight, ldUpLeft, 1, 1, clWhite, false};
    case lsShadow:
        return TMMLabelPreset{ldNone, ldDownRight, 0, 2, clWhite, true};
    case lsFlying:
        return TMMLabelPreset{ldDownRight, ldDownRight, 1, 5, 8421504, true};
    default:
        return std::nullopt;
    }
}

std::vector<TMMLabelLayer> MMLabelLayers(const TMMLabelEffect &effect, int alignment) {
    const TMMLabelVector h = MMLabelDirectionVector(effect.DirectionHighlight);
    const TMMLabelVector s = MMLabelDirectionVector(effect.DirectionShadow);
    const int dH = effect.DepthHighlight, dS = effect.DepthShadow;
    const int values[] = {h.dx * dH, s.dx * dS, h.dy * dH, s.dy * dS};
    const int lo = *std::min_element(std::begin(values), std::end(values));
    const int hi = *std::max_element(std::begin(values), std::end(values));
    const int a = alignment == 1 ? hi - lo : alignment == 2 ? (hi - lo) / 2 : 0;

    std::vector<TMMLabelLayer> layers;
    auto addLayers = [&](TMMLabelLayerKind kind, TMMLabelVector v, int depth, TMMLabelOption style) {
        const int last = style == loExtrude && depth > 1 ? 1 : depth;
        for (int k = depth; k >= last; --k) {
            layers.push_back({kind, v.dx * k - lo - a, v.dy * k - lo});
            if (k == 0) break;
        }
    };
    addLayers(lkShadow, s, dS, effect.StyleShadow);
    addLayers(lkHighlight, h, dH, effect.StyleHighlight);
    layers.push_back({lkCaption, -lo - a, -lo});
    return layers;
}
