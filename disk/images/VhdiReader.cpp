// VHD and VHDX through libvhdi; a differencing disk's parent must be one too.
#include <libvhdi.h>

#include <vector>

#include "disk/images/LayeredReader.h"

namespace undelete {
namespace {

std::string reasonOf(libvhdi_error_t*& error) {
    char text[4096] = {};
    if (error != nullptr) {
        libvhdi_error_backtrace_sprint(error, text, sizeof text);
        libvhdi_error_free(&error);
    }
    return container::innermostReason(text);
}

struct Vhdi {
    using File = libvhdi_file_t;

    static File* open(const std::string& path, std::string& reason) {
        File* file = nullptr;
        libvhdi_error_t* error = nullptr;
        if (libvhdi_file_initialize(&file, &error) != 1) {
            reason = reasonOf(error);
            return nullptr;
        }
        if (libvhdi_file_open(file, path.c_str(), LIBVHDI_OPEN_READ, &error) != 1) {
            reason = reasonOf(error);
            libvhdi_file_free(&file, nullptr);
            return nullptr;
        }
        return file;
    }

    static void close(File* file) {
        libvhdi_file_close(file, nullptr);
        libvhdi_file_free(&file, nullptr);
    }

    // Neither format encrypts: BitLocker inside is the volume's, not ours.
    static bool encrypted(File*) { return false; }

    // A differencing disk names its parent; any other has none.
    static int parentName(File* file, std::string& name, std::string& reason) {
        libvhdi_error_t* error = nullptr;
        uint32_t type = 0;
        if (libvhdi_file_get_disk_type(file, &type, &error) != 1) {
            reason = reasonOf(error);
            return -1;
        }
        if (type != LIBVHDI_DISK_TYPE_DIFFERENTIAL) return 0;
        size_t size = 0;
        if (libvhdi_file_get_utf8_parent_filename_size(file, &size, nullptr) != 1 || size == 0) {
            return 1;  // a parent without a name: missing
        }
        std::vector<uint8_t> text(size + 1, 0);
        if (libvhdi_file_get_utf8_parent_filename(file, text.data(), size, &error) != 1) {
            reason = reasonOf(error);
            return -1;
        }
        name = reinterpret_cast<const char*>(text.data());
        return 1;
    }

    static bool accepts(ContainerFormat format) {
        return format == ContainerFormat::Vhd || format == ContainerFormat::Vhdx;
    }

    static bool link(File* child, File* parent, std::string& reason) {
        libvhdi_error_t* error = nullptr;
        if (libvhdi_file_set_parent_file(child, parent, &error) == 1) return true;
        reason = reasonOf(error);
        return false;
    }

    static bool mediaBytes(File* file, uint64_t& bytes) {
        size64_t size = 0;
        if (libvhdi_file_get_media_size(file, &size, nullptr) != 1) return false;
        bytes = size;
        return true;
    }

    static std::vector<std::string> dataFiles(File*, const std::string&) { return {}; }

    static bool read(File* file, uint64_t offset, uint8_t* buffer, size_t length) {
        const ssize_t n = libvhdi_file_read_buffer_at_offset(
            file, buffer, length, static_cast<off64_t>(offset), nullptr);
        return n >= 0 && static_cast<size_t>(n) == length;
    }
};

}  // namespace

std::unique_ptr<ContainerReader> openVhdi(const std::string& path, ContainerRefusal& refusal) {
    return LayeredReader<Vhdi>::open(path, refusal);
}

}  // namespace undelete
