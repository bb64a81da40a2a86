#pragma once
// The UDC file of a configfs USB gadget folder: it holds the name of the
// device controller while the gadget is plugged in and is empty while it
// is not. Writing it plugs the gadget in or out, as a cable would.

#include <string>

namespace rtq::sim {

class GadgetUdc {
public:
    explicit GadgetUdc(std::string gadgetDir);

    // Reads the controller name the gadget is plugged into; false with the
    // reason when the file cannot be read or the gadget is not plugged in.
    bool Load(std::string* error);
    const std::string& Controller() const { return m_controller; }
    const std::string& Path() const { return m_path; }

    bool Unplug(std::string* error) { return Store("", error); }
    bool Plug(std::string* error) { return Store(m_controller, error); }

private:
    // One write of the whole line: configfs takes a value per write call.
    bool Store(const std::string& value, std::string* error);

    std::string m_path;
    std::string m_controller;
};

}  // namespace rtq::sim
