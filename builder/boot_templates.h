#pragma once
// The initramfs's shell scripts (boot/init.sh, boot/udhcpc.sh), compiled in so
// the builder needs no data files of its own.
namespace kestrelon::builder {

extern const char* const kInitScript;
extern const char* const kUdhcpcScript;

}  // namespace kestrelon::builder
