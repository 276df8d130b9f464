// Where `kestro get` and `kestro set` send a request: the device the user
// named, its section, channel, and its published stream when the property
// belongs to streams (or --stream asks for it). Shared by both commands.
#pragma once

#include <string>

#include <CLI/CLI.hpp>

#include "tools/KestroSession.h"
#include "tools/PropertyCodec.h"

class PropertyTarget {
public:
    // Adds --channel, --input, --output and --stream to a subcommand.
    void Configure(CLI::App& ioApp);
    // Resolves DEVICE in the session for inProperty.
    PropertyCodec::Target Resolve(const KestroSession& inSession, const std::string& inDevice,
                                  const PropertyCodec::Property& inProperty) const;
    // The names and codes of every property, for --help.
    static std::string PropertyNames();

    UInt32 mChannel = 0;
    bool mInput = false;
    bool mOutput = false;
    bool mStream = false;
};
