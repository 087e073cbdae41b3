// The reader of an image that may rest on parents (a differencing VHD or
// VHDX, a QCOW2 with a backing file, a VMDK delta): the image and each
// parent it names are opened read-only and linked, so reads fall through to
// the parent where the child holds nothing. One template over the small
// set of calls each library offers (see VhdiReader.cpp, QcowReader.cpp,
// VmdkReader.cpp for the `Library` they pass).
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "disk/images/ContainerReader.h"

namespace undelete {

// `Library` gives, over its own `File` type:
//   File* open(path, reason)              opened read-only, or null and why
//   void close(File*)
//   bool encrypted(File*)
//   int parentName(File*, name, reason)   1 has a parent (its stored name),
//                                         0 none, -1 cannot tell (why)
//   bool accepts(ContainerFormat)         a parent of that format can be linked
//   bool link(File* child, File* parent, reason)
//   bool mediaBytes(File*, uint64_t&)
//   bool read(File*, offset, buffer, length)   exactly length bytes
//   std::vector<std::string> dataFiles(File*, path)   files it reads beside
//                                         `path` itself (VMDK extents)
template <typename Library>
class LayeredReader : public ContainerReader {
public:
    using File = typename Library::File;

    LayeredReader() = default;
    LayeredReader(const LayeredReader&) = delete;
    LayeredReader& operator=(const LayeredReader&) = delete;
    // The image before its parents: it still points at them.
    ~LayeredReader() override {
        for (File* file : images_) Library::close(file);
    }

    uint64_t mediaBytes() const override { return media_; }
    std::vector<std::string> files() const override { return paths_; }
    bool read(uint64_t offset, uint8_t* buffer, size_t length) override {
        return Library::read(images_.front(), offset, buffer, length);
    }

    static std::unique_ptr<ContainerReader> open(const std::string& path,
                                                 ContainerRefusal& refusal) {
        std::unique_ptr<LayeredReader> reader(new LayeredReader);
        return reader->openChain(path, refusal) ? std::move(reader) : nullptr;
    }

private:
    using Reason = ContainerRefusal::Reason;

    static bool refuse(ContainerRefusal& refusal, Reason reason, std::string detail) {
        refusal.reason = reason;
        refusal.detail = std::move(detail);
        return false;
    }

    bool openChain(const std::string& path, ContainerRefusal& refusal) {
        std::string current = path, reason;
        for (int parents = 0;; ++parents) {
            File* file = Library::open(current, reason);
            if (file == nullptr) {
                return refuse(refusal, Reason::Damaged,
                              parents == 0 ? reason : current + ": " + reason);
            }
            images_.push_back(file);
            paths_.push_back(current);
            for (std::string& data : Library::dataFiles(file, current)) {
                paths_.push_back(std::move(data));
            }
            if (Library::encrypted(file)) return refuse(refusal, Reason::Encrypted, current);
            std::string stored;
            const int named = Library::parentName(file, stored, reason);
            if (named < 0) return refuse(refusal, Reason::Damaged, reason);
            if (named == 0) break;
            if (parents == container::kMaxParents) {
                return refuse(refusal, Reason::Unsupported, "more than 16 parent images");
            }
            const std::string parent = container::findParent(current, stored);
            if (parent.empty()) return refuse(refusal, Reason::MissingParent, stored);
            if (!Library::accepts(containerFormatOf(parent))) {
                return refuse(refusal, Reason::ForeignParent, parent);
            }
            current = parent;
        }
        for (size_t i = images_.size() - 1; i > 0; --i) {
            if (!Library::link(images_[i - 1], images_[i], reason)) {
                return refuse(refusal, Reason::Damaged, reason);
            }
        }
        if (!Library::mediaBytes(images_.front(), media_)) {
            return refuse(refusal, Reason::Damaged, "no media size");
        }
        return true;
    }

    std::vector<File*> images_;  // the image, then its parents in order
    std::vector<std::string> paths_;  // each file read: images and their data files
    uint64_t media_ = 0;
};

}  // namespace undelete
