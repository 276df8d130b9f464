// kestro set DEVICE PROPERTY VALUE
#include <cstdio>

#include "tools/KestroSession.h"
#include "tools/PropertyCodec.h"
#include "tools/ToolError.h"
#include "tools/commands/Commands.h"
#include "tools/commands/PropertyTarget.h"

namespace {

class SetCommand final : public Command {
public:
    void Configure(CLI::App& ioApp) override
    {
        ioApp.add_option("DEVICE", mDevice, "A device name, UID or ID, or \"in\" / \"out\"")->required();
        ioApp.add_option("PROPERTY", mProperty, "A property name or code")->required();
        ioApp.add_option("VALUE", mValue, "The new value, written as `kestro get` prints it")->required();
        mTarget.Configure(ioApp);
        ioApp.footer("Each run of kestro has its own simulated unit, so a setting lasts for that run;\n"
                     "set prints the value read back after the change.\n\n"
                     "Examples:\n"
                     "  kestro set in data-source spdif\n"
                     "  kestro set in ssrc iaes\n"
                     "  kestro set out mute true\n"
                     "  kestro set out buffer-frame-size 2048\n"
                     "  kestro set out nominal-sample-rate 48000\n"
                     "  kestro set in physical-format \"48000 Hz, 2 ch, 24-bit\" --stream\n\n" +
                     PropertyTarget::PropertyNames());
    }

    int Run(const SessionOptions& inOptions) override
    {
        KestroSession session(inOptions);
        PropertyCodec::Property property = PropertyCodec::Find(mProperty);
        PropertyCodec::Target target = mTarget.Resolve(session, mDevice, property);
        PropertyCodec::SetText(target, property, mValue);
        session.Settle();
        // A data-source change publishes another stream: read from the new one.
        if (target.stream != 0) {
            target = mTarget.Resolve(session, mDevice, property);
        }
        std::printf("%s\n", PropertyCodec::GetText(target, property).c_str());
        return 0;
    }

private:
    std::string mDevice;
    std::string mProperty;
    std::string mValue;
    PropertyTarget mTarget;
};

}  // namespace

std::unique_ptr<Command> MakeSetCommand()
{
    return std::make_unique<SetCommand>();
}
