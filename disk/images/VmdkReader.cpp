// VMDK through libvmdk: a descriptor and its extent files beside it, or one
// file holding both; a delta's parent must be VMDK too.
#include <libvmdk.h>

#include <vector>

#include "disk/images/LayeredReader.h"

namespace undelete {
namespace {

std::string reasonOf(libvmdk_error_t*& error) {
    char text[4096] = {};
    if (error != nullptr) {
        libvmdk_error_backtrace_sprint(error, text, sizeof text);
        libvmdk_error_free(&error);
    }
    return container::innermostReason(text);
}

struct Vmdk {
    using File = libvmdk_handle_t;

    static File* open(const std::string& path, std::string& reason) {
        File* file = nullptr;
        libvmdk_error_t* error = nullptr;
        if (libvmdk_handle_initialize(&file, &error) != 1) {
            reason = reasonOf(error);
            return nullptr;
        }
        if (libvmdk_handle_open(file, path.c_str(), LIBVMDK_OPEN_READ, &error) != 1 ||
            libvmdk_handle_open_extent_data_files(file, &error) != 1) {
            reason = reasonOf(error);
            libvmdk_handle_close(file, nullptr);
            libvmdk_handle_free(&file, nullptr);
            return nullptr;
        }
        return file;
    }

    static void close(File* file) {
        libvmdk_handle_close(file, nullptr);
        libvmdk_handle_free(&file, nullptr);
    }

    // libvmdk tells of no encryption.
    static bool encrypted(File*) { return false; }

    static int parentName(File* file, std::string& name, std::string& reason) {
        libvmdk_error_t* error = nullptr;
        size_t size = 0;
        const int has = libvmdk_handle_get_utf8_parent_filename_size(file, &size, &error);
        if (has != 1 || size == 0) {
            if (has < 0) reason = reasonOf(error);
            return has < 0 ? -1 : 0;
        }
        std::vector<uint8_t> text(size + 1, 0);
        if (libvmdk_handle_get_utf8_parent_filename(file, text.data(), size, &error) != 1) {
            reason = reasonOf(error);
            return -1;
        }
        name = reinterpret_cast<const char*>(text.data());
        return 1;
    }

    static bool accepts(ContainerFormat format) { return format == ContainerFormat::Vmdk; }

    static bool link(File* child, File* parent, std::string& reason) {
        libvmdk_error_t* error = nullptr;
        if (libvmdk_handle_set_parent_handle(child, parent, &error) == 1) return true;
        reason = reasonOf(error);
        return false;
    }

    static bool mediaBytes(File* file, uint64_t& bytes) {
        size64_t size = 0;
        if (libvmdk_handle_get_media_size(file, &size, nullptr) != 1) return false;
        bytes = size;
        return true;
    }

    // A descriptor's extents lie beside it, under the names it gives them
    // (a sparse disk in one file names that file).
    static std::vector<std::string> dataFiles(File* file, const std::string& path) {
        std::vector<std::string> names;
        int count = 0;
        if (libvmdk_handle_get_number_of_extents(file, &count, nullptr) != 1) return names;
        const std::string folder = path.substr(0, path.rfind('/') + 1);
        for (int i = 0; i < count; ++i) {
            libvmdk_extent_descriptor_t* extent = nullptr;
            if (libvmdk_handle_get_extent_descriptor(file, i, &extent, nullptr) != 1) continue;
            uint8_t text[4096] = {};
            if (libvmdk_extent_descriptor_get_utf8_filename(extent, text, sizeof text, nullptr) == 1) {
                names.push_back(folder + reinterpret_cast<const char*>(text));
            }
            libvmdk_extent_descriptor_free(&extent, nullptr);
        }
        return names;
    }

    static bool read(File* file, uint64_t offset, uint8_t* buffer, size_t length) {
        const ssize_t n = libvmdk_handle_read_buffer_at_offset(
            file, buffer, length, static_cast<off64_t>(offset), nullptr);
        return n >= 0 && static_cast<size_t>(n) == length;
    }
};

}  // namespace

std::unique_ptr<ContainerReader> openVmdk(const std::string& path, ContainerRefusal& refusal) {
    return LayeredReader<Vmdk>::open(path, refusal);
}

}  // namespace undelete
