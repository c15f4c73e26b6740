#pragma once

#include <array>
#include <optional>
#include <string_view>

class TMidiLibOut;

// The 128 General MIDI programs by name, in program order, and their 16
// families of eight.
namespace gm {
inline constexpr int kPrograms = 128;
inline constexpr int kFamilySize = 8;
[[nodiscard]] std::string_view programName(int program);
[[nodiscard]] std::string_view familyName(int family);
} // namespace gm

// The instrument the drill's notes sound with. Until the user chooses one
// the device keeps its own (Acoustic Grand Piano on the built-in
// synthesizer) and nothing is sent. Once chosen, a Program Change on the
// drill's channel goes out at the choice, whenever a device opens, and
// after each reset of the drill, so the device plays it again after
// anything that may have put it back to its default.
class InstrumentChoice {
public:
    static constexpr int kDefaultProgram = 0; // Acoustic Grand Piano
    static constexpr int kDrillChannel = 0;   // the drill's note-ons are 0x90

    [[nodiscard]] bool chosen() const { return program_.has_value(); }
    // The chosen program, or the default while none is chosen.
    [[nodiscard]] int program() const { return program_.value_or(kDefaultProgram); }
    // A choice kept from an earlier run (0..127; anything else is ignored).
    void restore(std::optional<int> program);
    [[nodiscard]] std::optional<int> saved() const { return program_; }

    // The user chose `program`: it is sent to `port` at once. False when
    // the port refused it (or the program is out of range).
    bool choose(int program, TMidiLibOut* port);
    // A device has just opened on `port`, or the drill was reset.
    bool deviceOpened(TMidiLibOut* port) const { return resend(port); }
    bool drillReset(TMidiLibOut* port) const { return resend(port); }

private:
    [[nodiscard]] bool resend(TMidiLibOut* port) const;
    bool send(TMidiLibOut* port) const;

    std::optional<int> program_;
};
