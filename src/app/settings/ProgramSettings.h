#pragma once

#include <QString>
#include <array>
#include <optional>

#include "collector/Pages.h"
#include "link/SerialPort.h"

namespace kordex::app {

class SettingsStore;

// The port mapping's subkey of the program key: one device path per port name.
inline const QString PortsKey = QStringLiteral("Ports");

// The item index of a list or radio group without a selection.
constexpr int NoSelection = -1;
// What "Com" holds after a close without a chosen port: the digit value of no digit.
constexpr int NoPortValue = -48;

// The program's settings under the program key, read once when the main
// window is created and written once at an orderly close. A default object
// holds the controls' design-time state: every check box checked, path mode
// "Случайный", no interval chosen, no port, no user.
struct ProgramSettings {
    // "Com" as found at start: the port 1..4 to choose over the first existing
    // one. Empty when the value is missing or holds anything else.
    std::optional<int> savedPort;
    // The chosen port's digit 1..4, 0 for none; written as "Com".
    int port = 0;
    // "Interval": the item index of the interval list, i.e. seconds 0..255.
    // A program key that opens gives 10 when the value is missing; a key that
    // does not open leaves the list without a selection (written back as -1).
    int interval = NoSelection;
    // "PathMode": 0 "Случайный", 1 "Случайный с полным контролем",
    // 2 "В порядке маршрута обхода". A stored value outside 0..2 reads as 0.
    int pathMode = 0;
    bool autoKDAdd = true;     // "AutoKDAdd"
    bool autoRegAdd = true;    // "AutoRegAdd"
    bool autoGuardAdd = true;  // "AutoGuardAdd"
    bool autoPAdd = true;      // "AutoPAdd"
    bool checkOver = true;     // "CheckOver"
    // "User": the key of the registrar logged in at the last close; empty when
    // nobody is to be preselected. Written only when it holds a value.
    std::optional<QString> user;
    // Ports\COM1..Ports\COM4: the device of each port name. Names without a
    // stored device keep the platform default.
    link::PortMap ports;

    // Reads what the store holds; missing values leave the members as they are.
    void Load(SettingsStore& store);
    // Writes every value (and each port's device).
    void Save(SettingsStore& store) const;

    // The port chosen at start, given which of COM1..COM4 exist (index 0 is
    // COM1): the first that exists, or the saved one if that exists; 0 for none.
    int StartPort(const std::array<bool, 4>& exists) const;

    // The read page's options, and back.
    collector::ReadOptions ReadPageOptions() const;
    void TakeReadPageOptions(const collector::ReadOptions& options);
    // The write page's interval and path mode, and back.
    void FillWritePage(collector::WriteChoices& choices) const;
    void TakeWritePage(const collector::WriteChoices& choices);
};

}  // namespace kordex::app
