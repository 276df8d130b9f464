// kestro list [--json]
#include <cstdio>

#include "tools/DeviceInfo.h"
#include "tools/JsonWriter.h"
#include "tools/KestroSession.h"
#include "tools/commands/Commands.h"

namespace {

class ListCommand final : public Command {
public:
    void Configure(CLI::App& ioApp) override
    {
        ioApp.add_flag("--json", mJson, "Print one JSON object {\"devices\": [...]}");
        ioApp.footer("Examples:\n"
                     "  kestro list\n"
                     "  kestro list --json\n"
                     "  kestro list --connectors sdi,spdif    (a unit with two inputs)\n"
                     "  kestro list --json | python3 -m json.tool");
    }

    int Run(const SessionOptions& inOptions) override
    {
        KestroSession session(inOptions);
        std::vector<DeviceInfo> devices;
        for (AudioDeviceID device : session.GetDevices()) {
            devices.emplace_back(device);
        }
        if (mJson) {
            JsonWriter json;
            json.BeginObject();
            json.Key("devices").BeginArray();
            for (const DeviceInfo& device : devices) {
                device.WriteJson(json);
            }
            json.EndArray();
            json.EndObject();
            std::fputs(json.GetText().c_str(), stdout);
            return 0;
        }
        if (devices.empty()) {
            std::puts("no devices (the unit is unplugged, or the plug-in couldn't publish them: try --verbose)");
        }
        std::string text;
        for (const DeviceInfo& device : devices) {
            if (!text.empty()) {
                text += "\n";
            }
            device.PrintText(text);
        }
        std::fputs(text.c_str(), stdout);
        return 0;
    }

private:
    bool mJson = false;
};

}  // namespace

std::unique_ptr<Command> MakeListCommand()
{
    return std::make_unique<ListCommand>();
}
