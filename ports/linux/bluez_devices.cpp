#include "ports/bluetooth_devices.h"

#include <sdbus-c++/sdbus-c++.h>

#include <chrono>
#include <map>

namespace rtq {

namespace {

using Properties = std::map<std::string, sdbus::Variant>;
using Interfaces = std::map<std::string, Properties>;
using ManagedObjects = std::map<sdbus::ObjectPath, Interfaces>;

template <class T>
T Get(const Properties& props, const char* key, T fallback = T{}) {
    auto it = props.find(key);
    if (it == props.end() || !it->second.containsValueOfType<T>()) return fallback;
    return it->second.get<T>();
}

}  // namespace

BluetoothState ReadBluetoothState() {
    BluetoothState state;
    ManagedObjects objects;
    try {
        auto bus = sdbus::createSystemBusConnection();
        auto root = sdbus::createProxy(*bus, "org.bluez", "/");
        root->callMethod("GetManagedObjects")
            .onInterface("org.freedesktop.DBus.ObjectManager")
            .withTimeout(std::chrono::milliseconds(kBluezCallTimeoutMs))
            .storeResultsTo(objects);
    } catch (const sdbus::Error& e) {
        state.error = e.getMessage().empty() ? e.getName() : e.getMessage();
        return state;
    } catch (const std::exception& e) {
        state.error = e.what();
        return state;
    }
    state.serviceReachable = true;
    for (const auto& [path, interfaces] : objects) {
        if (auto a = interfaces.find("org.bluez.Adapter1"); a != interfaces.end())
            state.adapters.push_back({path, Get<bool>(a->second, "Powered")});
        auto d = interfaces.find("org.bluez.Device1");
        if (d == interfaces.end()) continue;
        const Properties& p = d->second;
        BluetoothDeviceState device;
        device.objectPath = path;
        device.address = Get<std::string>(p, "Address");
        device.name = Get<std::string>(p, "Name");
        device.alias = Get<std::string>(p, "Alias");
        device.paired = Get<bool>(p, "Paired");
        device.connected = Get<bool>(p, "Connected");
        device.uuids = Get<std::vector<std::string>>(p, "UUIDs");
        state.devices.push_back(std::move(device));
    }
    return state;
}

}  // namespace rtq
