// QCOW2 (and QCOW1) through libqcow; a backing file must be QCOW too.
#include <libqcow.h>

#include <vector>

#include "disk/images/LayeredReader.h"

namespace undelete {
namespace {

std::string reasonOf(libqcow_error_t*& error) {
    char text[4096] = {};
    if (error != nullptr) {
        libqcow_error_backtrace_sprint(error, text, sizeof text);
        libqcow_error_free(&error);
    }
    return container::innermostReason(text);
}

struct Qcow {
    using File = libqcow_file_t;

    static File* open(const std::string& path, std::string& reason) {
        File* file = nullptr;
        libqcow_error_t* error = nullptr;
        if (libqcow_file_initialize(&file, &error) != 1) {
            reason = reasonOf(error);
            return nullptr;
        }
        if (libqcow_file_open(file, path.c_str(), LIBQCOW_OPEN_READ, &error) != 1) {
            reason = reasonOf(error);
            libqcow_file_free(&file, nullptr);
            return nullptr;
        }
        return file;
    }

    static void close(File* file) {
        libqcow_file_close(file, nullptr);
        libqcow_file_free(&file, nullptr);
    }

    // Without its key nothing can be read (no key is asked for).
    static bool encrypted(File* file) {
        uint32_t method = LIBQCOW_ENCRYPTION_METHOD_NONE;
        return libqcow_file_get_encryption_method(file, &method, nullptr) != 1 ||
               method != LIBQCOW_ENCRYPTION_METHOD_NONE;
    }

    static int parentName(File* file, std::string& name, std::string& reason) {
        libqcow_error_t* error = nullptr;
        size_t size = 0;
        const int has = libqcow_file_get_utf8_backing_filename_size(file, &size, &error);
        if (has != 1 || size == 0) {
            if (has < 0) reason = reasonOf(error);
            return has < 0 ? -1 : 0;
        }
        std::vector<uint8_t> text(size + 1, 0);
        if (libqcow_file_get_utf8_backing_filename(file, text.data(), size, &error) != 1) {
            reason = reasonOf(error);
            return -1;
        }
        name = reinterpret_cast<const char*>(text.data());
        return 1;
    }

    static bool accepts(ContainerFormat format) { return format == ContainerFormat::Qcow; }

    static bool link(File* child, File* parent, std::string& reason) {
        libqcow_error_t* error = nullptr;
        if (libqcow_file_set_parent_file(child, parent, &error) == 1) return true;
        reason = reasonOf(error);
        return false;
    }

    static bool mediaBytes(File* file, uint64_t& bytes) {
        size64_t size = 0;
        if (libqcow_file_get_media_size(file, &size, nullptr) != 1) return false;
        bytes = size;
        return true;
    }

    static std::vector<std::string> dataFiles(File*, const std::string&) { return {}; }

    static bool read(File* file, uint64_t offset, uint8_t* buffer, size_t length) {
        const ssize_t n = libqcow_file_read_buffer_at_offset(
            file, buffer, length, static_cast<off64_t>(offset), nullptr);
        return n >= 0 && static_cast<size_t>(n) == length;
    }
};

}  // namespace

std::unique_ptr<ContainerReader> openQcow(const std::string& path, ContainerRefusal& refusal) {
    return LayeredReader<Qcow>::open(path, refusal);
}

}  // namespace undelete
