// Helpers for tests that run the built program and Debian's image tools.
#pragma once
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace harness {

struct Result {
    int status = -1;     // exit status, or -1 when the command did not exit
    std::string out;     // standard output
};

// Runs `command` through the shell; standard error passes through to the
// test log unless the command redirects it.
inline Result run(const std::string& command) {
    Result result;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return result;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) result.out.append(buffer, n);
    const int raw = pclose(pipe);
    if (raw != -1 && WIFEXITED(raw)) result.status = WEXITSTATUS(raw);
    return result;
}

inline std::string quote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// Put before the program by a test that reads its messages: English,
// whatever the locale the suite runs under (LANGUAGE would lead otherwise).
inline const std::string kEnglish = "LANGUAGE= LC_ALL=C.UTF-8 ";

// The built program in English, with arguments already quoted by the caller.
inline Result undelete(const std::string& arguments) {
    return run(kEnglish + UNDELETE_BINARY + " " + arguments);
}

inline std::string fixture(const std::string& name) { return std::string(FIXTURE_DIR) + "/" + name; }

// A fresh directory under the build tree's temporary area, removed at exit
// of the test unless KEEP_TEST_FILES is set.
class TempDir {
public:
    TempDir() {
        char pattern[] = "/tmp/undelete-test-XXXXXX";
        const char* made = mkdtemp(pattern);
        path_ = made ? made : "";
    }
    ~TempDir() {
        if (!path_.empty() && std::getenv("KEEP_TEST_FILES") == nullptr) {
            run("rm -rf " + quote(path_));
        }
    }
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::string part;
    std::istringstream in(text);
    while (std::getline(in, part, separator)) parts.push_back(part);
    return parts;
}

// Lines of `text` split into tab-separated fields, an empty last one kept.
inline std::vector<std::vector<std::string>> table(const std::string& text) {
    std::vector<std::vector<std::string>> rows;
    for (const std::string& line : split(text, '\n')) rows.push_back(split(line + '\t', '\t'));
    return rows;
}

inline std::string sha256Of(const std::string& path) {
    return run("sha256sum " + quote(path) + " 2>/dev/null | cut -d' ' -f1").out;
}

// An image made by one of the builders in the fixtures folder, in a folder
// of its own, with the rows of its manifest. A builder exits with 77 when a
// tool it needs is missing: the tests are then skipped, not failed.
// The image is made read-only once built, and when the fixture goes (in a
// suite's tear-down) its bytes must be what they were: the disk is never
// written, whatever the tests did with it.
struct FixtureImage {
    std::unique_ptr<TempDir> dir;
    std::string skipReason;  // a tool is missing
    std::string failure;     // the builder's output when it failed
    std::vector<std::vector<std::string>> manifest;
    std::string digest;      // of the image as built

    FixtureImage() = default;
    FixtureImage(FixtureImage&&) = default;
    FixtureImage& operator=(FixtureImage&& other) {
        checkUnchanged();
        dir = std::move(other.dir);
        skipReason = std::move(other.skipReason);
        failure = std::move(other.failure);
        manifest = std::move(other.manifest);
        digest = std::move(other.digest);
        other.digest.clear();
        return *this;
    }
    ~FixtureImage() { checkUnchanged(); }

    std::string image() const { return dir->file("disk.img"); }

    void checkUnchanged() {
        if (digest.empty() || !dir) return;
        EXPECT_EQ(sha256Of(image()), digest) << image() << " was written to";
        digest.clear();
    }
};

// Runs `builder` with `args` into the empty folder `dir`. Every test runs
// in a process of its own and the plain, sanitized and thread builds run the
// same builders, so what a builder made is kept in a cache folder
// (UNDELETE_FIXTURE_CACHE, else under /tmp; "off" keeps nothing), under the
// digest of every fixture script, the builder and its arguments: the first
// process builds under a lock, the others copy. Each test still gets a
// folder of its own to write in. A builder that fails or skips leaves nothing.
inline Result buildFixture(const std::string& builder, const std::string& args,
                           const std::string& dir) {
    const auto into = [&](const std::string& out) {
        return "bash " + quote(fixture(builder)) + " " + quote(out) + (args.empty() ? "" : " " + args) +
               " 2>&1";
    };
    const char* setting = std::getenv("UNDELETE_FIXTURE_CACHE");
    const std::string cache = setting != nullptr && *setting != '\0' ? setting : "/tmp/undelete-fixture-cache";
    if (cache == "off") return run(into(dir));
    std::string key = run("cd " + quote(FIXTURE_DIR) + " && { cat -- * 2>/dev/null; printf '%s\\n' " +
                          quote(builder) + " " + quote(args) + "; } | sha256sum | cut -c1-32")
                          .out;
    if (key.size() < 32) return run(into(dir));
    key.resize(32);
    const std::string entry = cache + "/" + key;
    const std::string built = quote(entry + "/.built");
    Result made = run("mkdir -p " + quote(cache) + " && exec 9>" + quote(entry + ".lock") +
                      " && flock 9 && if [ ! -f " + built + " ]; then rm -rf " + quote(entry) +
                      " && mkdir " + quote(entry) + " && { " + into(entry) + "; } && touch " + built +
                      " || { status=$?; rm -rf " + quote(entry) + "; exit $status; }; fi");
    if (made.status != 0) return made;
    // Entries not used for two days go (their scripts have changed since).
    run("touch " + quote(entry) + "; find " + quote(cache) +
        " -mindepth 1 -maxdepth 1 -type d -mtime +2 -exec rm -rf {} + 2>/dev/null");
    made = run("cp -a " + quote(entry + "/.") + " " + quote(dir) + " && rm -f " + quote(dir + "/.built"));
    return made.status == 0 ? Result{0, ""} : Result{1, "copying the cached image failed"};
}

inline FixtureImage makeFixtureImage(const std::string& builder, const std::string& args = "") {
    FixtureImage made;
    made.dir = std::make_unique<TempDir>();
    const Result result = buildFixture(builder, args, made.dir->path());
    if (result.status == 77) {
        made.skipReason = result.out;
    } else if (result.status != 0) {
        made.failure = result.out.empty() ? builder + " failed" : result.out;
    } else {
        made.manifest = table(readFile(made.dir->file("manifest.tsv")));
        run("chmod 0444 " + quote(made.image()));
        made.digest = sha256Of(made.image());
    }
    return made;
}

// The size text a listing must show for `n` bytes: "%d B" up to 1024, then
// KB, MB and GB with one decimal, the larger units dropping the low bits
// first. Written apart from the program's own code, as the tests' yardstick.
inline std::string expectedSizeText(unsigned long long n) {
    char text[32];
    if (n > 1073741824ULL) {
        std::snprintf(text, sizeof text, "%0.1f GB", static_cast<double>(n >> 20) / 1024);
    } else if (n > 1048576ULL) {
        std::snprintf(text, sizeof text, "%0.1f MB", static_cast<double>(n >> 10) / 1024);
    } else if (n > 1024ULL) {
        std::snprintf(text, sizeof text, "%0.1f KB", static_cast<double>(n) / 1024);
    } else {
        std::snprintf(text, sizeof text, "%llu B", n);
    }
    return text;
}

inline bool haveTool(const std::string& tool) {
    return run("command -v " + tool + " >/dev/null 2>&1").status == 0;
}

// The command that runs the built program as user nobody (65534). That user
// runs a copy, beside a copy of its catalogues, in `dir` (opened to all):
// the checkout may lie where only root can enter (a clone under /root), and
// a program that cannot read its catalogues speaks Chinese.
inline std::string programAsNobody(const TempDir& dir) {
    const std::string binary = UNDELETE_BINARY;
    const std::string copy = dir.file("program");
    run("mkdir -p " + quote(copy) + " && cp " + quote(binary) + " " +
        quote(binary.substr(0, binary.rfind('/')) + "/locale") + " -r " + quote(copy) +
        " && chmod -R a+rX " + quote(copy) + " && chmod 755 " + quote(dir.path()));
    return "setpriv --reuid=65534 --regid=65534 --clear-groups " + quote(copy + "/undelete");
}

// An image file on a loop device (root only), with its partitions' devices;
// detached at the end, however the test ends.
class LoopDevice {
public:
    explicit LoopDevice(const std::string& image) {
        device_ = run("losetup -f --show -P " + quote(image) + " 2>/dev/null").out;
        device_.erase(device_.find_last_not_of('\n') + 1);
    }
    ~LoopDevice() {
        if (device_.empty()) return;
        run("partx -d " + quote(device_) + " 2>/dev/null");
        run("losetup -d " + quote(device_));
    }
    LoopDevice(const LoopDevice&) = delete;
    LoopDevice& operator=(const LoopDevice&) = delete;
    const std::string& device() const { return device_; }
    // The device of partition `number`, once it is there (without udev the
    // kernel may leave the table unread); empty when it does not come.
    std::string partition(int number) const {
        if (device_.empty()) return "";
        const std::string path = device_ + "p" + std::to_string(number);
        if (access(path.c_str(), F_OK) != 0) run("partx -a " + quote(device_) + " 2>/dev/null");
        const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (access(path.c_str(), F_OK) != 0 && std::chrono::steady_clock::now() < limit) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return access(path.c_str(), F_OK) == 0 ? path : "";
    }

private:
    std::string device_;
};

// A file system mounted on `folder` by `command` (root only); unmounted at
// the end, however the test ends.
class Mounted {
public:
    Mounted(const std::string& command, const std::string& folder) : folder_(folder) {
        mounted_ = run("mkdir -p " + quote(folder) + " && " + command + " " + quote(folder)).status == 0;
    }
    ~Mounted() {
        if (mounted_) run("umount " + quote(folder_));
    }
    Mounted(const Mounted&) = delete;
    Mounted& operator=(const Mounted&) = delete;
    bool ready() const { return mounted_; }
    std::string file(const std::string& name) const { return folder_ + "/" + name; }

private:
    std::string folder_;
    bool mounted_ = false;
};

}  // namespace harness
