// kestro get DEVICE [PROPERTY]
#include <cstdio>

#include "tools/KestroSession.h"
#include "tools/PropertyCodec.h"
#include "tools/ToolError.h"
#include "tools/commands/Commands.h"
#include "tools/commands/PropertyTarget.h"

namespace {

class GetCommand final : public Command {
public:
    void Configure(CLI::App& ioApp) override
    {
        ioApp.add_option("DEVICE", mDevice, "A device name, UID or ID, or \"in\" / \"out\"")->required();
        ioApp.add_option("PROPERTY", mProperty, "A property name or code (none: every property it answers)");
        mTarget.Configure(ioApp);
        ioApp.footer("Examples:\n"
                     "  kestro get out nominal-sample-rate\n"
                     "  kestro get \"Kestro In\" nsrt\n"
                     "  kestro get in data-sources\n"
                     "  kestro get in physical-format          (the published stream's)\n"
                     "  kestro get out sfmt --stream\n"
                     "  kestro get com_haldrix_Kestro_Out:0\n\n" +
                     PropertyTarget::PropertyNames());
    }

    int Run(const SessionOptions& inOptions) override
    {
        KestroSession session(inOptions);
        if (!mProperty.empty()) {
            PropertyCodec::Property property = PropertyCodec::Find(mProperty);
            PropertyCodec::Target target = mTarget.Resolve(session, mDevice, property);
            std::printf("%s\n", PropertyCodec::GetText(target, property).c_str());
            return 0;
        }
        // Everything the device (and its stream) answers.
        for (const PropertyCodec::Property& property : PropertyCodec::GetTable()) {
            PropertyCodec::Target target = mTarget.Resolve(session, mDevice, property);
            UInt32 size = 0;
            bool writable = false;
            if (PropertyCodec::GetInfo(target, property.code, size, writable) != 0) {
                continue;
            }
            std::string value;
            try {
                value = PropertyCodec::GetText(target, property);
            } catch (const ToolError& error) {
                value = "(" + error.GetMessage() + ")";
            }
            for (size_t at = value.find('\n'); at != std::string::npos; at = value.find('\n', at + 1)) {
                value.replace(at, 1, "; ");
            }
            std::printf("%-36s %-7s %s%s\n", property.name,
                        ("'" + PropertyCodec::FourCCString(property.code) + "'").c_str(), value.c_str(),
                        writable ? "  [settable]" : "");
        }
        return 0;
    }

private:
    std::string mDevice;
    std::string mProperty;
    PropertyTarget mTarget;
};

}  // namespace

std::unique_ptr<Command> MakeGetCommand()
{
    return std::make_unique<GetCommand>();
}
