#include "framework/HPCommand.h"

HPCommand::HPCommand(UInt32 inCommandID, HPDevice* inDevice) : mCommandID(inCommandID), mDevice(inDevice) {}

HPCommand::~HPCommand() = default;

void HPCommand::Execute() {}
