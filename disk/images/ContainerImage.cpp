#include "disk/images/ContainerImage.h"

#include <libewf.h>
#include <libqcow.h>
#include <libvhdi.h>
#include <libvmdk.h>

#include <sys/stat.h>

#include <cstring>
#include <fstream>
#include <map>
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

// One disk per run, so a container is opened once per process and kept:
// every check and drive of that path reads the same opened container.
// Opening is not cheap, nor is a container's first read of each part (an
// E01's library builds the table of a part's chunks then: about 70 ms for
// 65,000 chunks), and both are paid once. A failed open is not kept.
struct Registry {
    std::mutex lock;
    std::map<std::string, std::shared_ptr<OpenedContainer>> opened;
};

Registry& registry() {
    // Never destroyed: a drive still reading at exit keeps its container.
    static auto* containers = new Registry;
    return *containers;
}

std::shared_ptr<OpenedContainer> openedContainer(const std::string& path, ContainerFormat format,
                                                 ContainerRefusal& refusal) {
    Registry& containers = registry();
    std::lock_guard<std::mutex> hold(containers.lock);
    auto found = containers.opened.find(path);
    if (found != containers.opened.end()) return found->second;
    std::unique_ptr<ContainerReader> reader = openReader(path, format, refusal);
    if (!reader) return nullptr;
    auto container = std::make_shared<OpenedContainer>(std::move(reader));
    containers.opened.emplace(path, container);
    return container;
}

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
    return [path, format, sectorBytes]() -> std::unique_ptr<DriveDevice> {
        ContainerRefusal ignored;
        std::shared_ptr<OpenedContainer> container = openedContainer(path, format, ignored);
        if (!container) return nullptr;
        return std::make_unique<ContainerDrive>(std::move(container), sectorBytes);
    };
}

bool isContainerFile(const std::string& diskPath, const std::string& target) {
    struct stat wanted {};
    if (::stat(target.c_str(), &wanted) != 0) return false;
    Registry& containers = registry();
    std::lock_guard<std::mutex> hold(containers.lock);
    const auto found = containers.opened.find(diskPath);
    if (found == containers.opened.end()) return false;
    for (const std::string& file : found->second->reader->files()) {
        struct stat st {};
        if (::stat(file.c_str(), &st) == 0 && st.st_dev == wanted.st_dev &&
            st.st_ino == wanted.st_ino) {
            return true;
        }
    }
    return false;
}

bool checkContainer(const std::string& path, ContainerRefusal& refusal) {
    const ContainerFormat format = containerFormatOf(path);
    return format == ContainerFormat::None || openedContainer(path, format, refusal) != nullptr;
}

}  // namespace undelete
