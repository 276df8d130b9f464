#include "framework/HPDeviceProperty.h"

HPDeviceProperty::HPDeviceProperty(HPDevice* inDevice) : mDevice(inDevice) {}

HPDeviceProperty::~HPDeviceProperty() = default;
