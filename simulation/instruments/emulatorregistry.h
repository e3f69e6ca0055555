#ifndef EMULATORREGISTRY_H
#define EMULATORREGISTRY_H

#include "ptydevice.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

// The kinds of device the emulator program can serve, by the name a user types.
// A new emulator becomes available by adding one entry to the table in
// emulatorregistry.cpp.
struct EmulatorKind {
    // Writes one line to the program's output; safe from any thread.
    using Print = std::function<void(const std::string& line)>;

    std::string name;
    std::string summary;
    // Builds a device, not yet started. print reports what the device saw.
    std::function<std::unique_ptr<PtyDevice>(const Print& print)> create;
    // Optional: carries out one line of the program's input addressed to a
    // device of this kind; false if the line means nothing to it.
    std::function<bool(PtyDevice& device, const std::string& text)> command;
};

const std::vector<EmulatorKind>& emulatorKinds();
// nullptr for an unknown name.
const EmulatorKind* findEmulatorKind(const std::string& name);

#endif // EMULATORREGISTRY_H
