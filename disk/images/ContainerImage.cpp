#include "disk/images/ContainerImage.h"

#include <libewf.h>
#include <libqcow.h>
#include <libvhdi.h>
#include <libvmdk.h>

#include <cstring>
#include <fstream>
#include <mutex>

#include "disk/images/ContainerDrive.h"
#include "disk/images/ContainerReader.h"

namespace undelete {
namespace {

// libvhdi answers for both of its formats; VHDX starts with its own mark.
ContainerFormat vhdFamilyMember(const std::string& path) {
    char head[8] = {};
    std::ifstream in(path, std::ios::binary);
    in.read(head, sizeof head);
    return in && std::memcmp(head, "vhdxfile", sizeof head) == 0 ? ContainerFormat::Vhdx
                                                                 : ContainerFormat::Vhd;
}

std::unique_ptr<ContainerReader> openReader(const std::string& path, ContainerFormat format,
                                            ContainerRefusal& refusal) {
    refusal.format = format;
    switch (format) {
    case ContainerFormat::Ewf: return openEwf(path, refusal);
    case ContainerFormat::Vhd:
    case ContainerFormat::Vhdx: return openVhdi(path, refusal);
    case ContainerFormat::Vmdk: return openVmdk(path, refusal);
    case ContainerFormat::Qcow: return openQcow(path, refusal);
    case ContainerFormat::None: break;
    }
    return nullptr;
}

// What every drive of one opener shares: the container, opened once.
struct OpenerState {
    std::mutex lock;
    bool tried = false;
    std::shared_ptr<OpenedContainer> container;
};

}  // namespace

const char* containerName(ContainerFormat format) {
    switch (format) {
    case ContainerFormat::Ewf: return "E01";
    case ContainerFormat::Vhd: return "VHD";
    case ContainerFormat::Vhdx: return "VHDX";
    case ContainerFormat::Vmdk: return "VMDK";
    case ContainerFormat::Qcow: return "QCOW2";
    case ContainerFormat::None: break;
    }
    return "raw";
}

ContainerFormat containerFormatOf(const std::string& path) {
    const char* name = path.c_str();
    if (libewf_check_file_signature(name, nullptr) == 1) return ContainerFormat::Ewf;
    if (libqcow_check_file_signature(name, nullptr) == 1) return ContainerFormat::Qcow;
    if (libvhdi_check_file_signature(name, nullptr) == 1) return vhdFamilyMember(path);
    if (libvmdk_check_file_signature(name, nullptr) == 1) return ContainerFormat::Vmdk;
    return ContainerFormat::None;
}

DriveOpener containerOpener(const std::string& path, ContainerFormat format,
                            uint32_t sectorBytes) {
    auto state = std::make_shared<OpenerState>();
    return [state, path, format, sectorBytes]() -> std::unique_ptr<DriveDevice> {
        std::lock_guard<std::mutex> hold(state->lock);
        if (!state->tried) {
            state->tried = true;
            ContainerRefusal ignored;
            if (auto reader = openReader(path, format, ignored)) {
                state->container = std::make_shared<OpenedContainer>(std::move(reader));
            }
        }
        if (!state->container) return nullptr;
        return std::make_unique<ContainerDrive>(state->container, sectorBytes);
    };
}

bool checkContainer(const std::string& path, ContainerRefusal& refusal) {
    const ContainerFormat format = containerFormatOf(path);
    return format == ContainerFormat::None || openReader(path, format, refusal) != nullptr;
}

}  // namespace undelete
