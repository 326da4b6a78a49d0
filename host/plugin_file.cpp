#include "host/plugin_file.h"

#include <elf.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <bit>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <vector>

namespace zephrin::host {

namespace {

// The byte order this host was built for, as ELF writes it.
constexpr unsigned char kNativeData = std::endian::native == std::endian::little ? ELFDATA2LSB : ELFDATA2MSB;

struct OpenFile {
    int fd = -1;
    uint64_t size = 0;
    ~OpenFile() {
        if (fd >= 0) ::close(fd);
    }
};

bool readAt(const OpenFile& file, uint64_t offset, void* data, std::size_t size) {
    auto* bytes = static_cast<char*>(data);
    while (size > 0) {
        ssize_t got = ::pread(file.fd, bytes, size, static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        bytes += got;
        offset += static_cast<uint64_t>(got);
        size -= static_cast<std::size_t>(got);
    }
    return true;
}

// Whether [offset, offset + count * entrySize) lies in the file, without overflowing.
bool extentFits(const OpenFile& file, uint64_t offset, uint64_t count, uint64_t entrySize) {
    if (offset > file.size) return false;
    // Divided rather than multiplied: hostile counts and sizes would overflow the product.
    return entrySize == 0 || count <= (file.size - offset) / entrySize;
}

std::string truncated(const OpenFile& file, const char* what, uint64_t end) {
    return "truncated: " + std::to_string(file.size) + " bytes, but its " + what + " end at " + std::to_string(end);
}

std::string checkProgramHeaders(const OpenFile& file, const Elf64_Ehdr& header) {
    if (header.e_phnum == 0) return "no program headers: not a loadable library";
    if (header.e_phentsize != sizeof(Elf64_Phdr)) return "program headers of an unknown size";
    if (!extentFits(file, header.e_phoff, header.e_phnum, sizeof(Elf64_Phdr)))
        return truncated(file, "program headers", header.e_phoff + uint64_t{header.e_phnum} * sizeof(Elf64_Phdr));
    std::vector<Elf64_Phdr> segments(header.e_phnum);
    if (!readAt(file, header.e_phoff, segments.data(), segments.size() * sizeof(Elf64_Phdr)))
        return "its program headers cannot be read";
    for (const Elf64_Phdr& segment : segments) {
        if (segment.p_type != PT_LOAD) continue;
        if (!extentFits(file, segment.p_offset, segment.p_filesz, 1))
            return truncated(file, "loadable segments", segment.p_offset + segment.p_filesz);
    }
    return {};
}

std::string checkSectionHeaders(const OpenFile& file, const Elf64_Ehdr& header) {
    // A library may carry no section headers at all; the loader does not need them.
    if (header.e_shoff == 0) return {};
    if (header.e_shentsize != sizeof(Elf64_Shdr)) return "section headers of an unknown size";
    if (!extentFits(file, header.e_shoff, 1, sizeof(Elf64_Shdr)))
        return truncated(file, "section headers", header.e_shoff + sizeof(Elf64_Shdr));
    Elf64_Shdr first{};
    if (!readAt(file, header.e_shoff, &first, sizeof first)) return "its section headers cannot be read";
    // With 0xff00 sections or more the count lives in the first header.
    uint64_t count = header.e_shnum != 0 ? header.e_shnum : first.sh_size;
    if (count > file.size / sizeof(Elf64_Shdr) || !extentFits(file, header.e_shoff, count, sizeof(Elf64_Shdr)))
        return truncated(file, "section headers", header.e_shoff + count * sizeof(Elf64_Shdr));
    std::vector<Elf64_Shdr> sections(static_cast<std::size_t>(count));
    if (!readAt(file, header.e_shoff, sections.data(), sections.size() * sizeof(Elf64_Shdr)))
        return "its section headers cannot be read";
    for (const Elf64_Shdr& section : sections) {
        if (section.sh_type == SHT_NOBITS || section.sh_type == SHT_NULL) continue;
        if (!extentFits(file, section.sh_offset, section.sh_size, 1))
            return truncated(file, "sections", section.sh_offset + section.sh_size);
    }
    return {};
}

}  // namespace

std::string pluginFileProblem(const std::filesystem::path& path) {
    OpenFile file;
    file.fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (file.fd < 0) return std::string("cannot open it: ") + std::strerror(errno);
    struct stat info {};
    if (::fstat(file.fd, &info) != 0) return std::string("cannot read it: ") + std::strerror(errno);
    if (!S_ISREG(info.st_mode)) return S_ISDIR(info.st_mode) ? "a folder, not a library" : "not a regular file";
    file.size = static_cast<uint64_t>(info.st_size);

    unsigned char ident[EI_NIDENT] = {};
    if (file.size < EI_NIDENT || !readAt(file, 0, ident, sizeof ident) || std::memcmp(ident, ELFMAG, SELFMAG) != 0)
        return "not an ELF file";
    if (ident[EI_CLASS] != ELFCLASS64 || ident[EI_DATA] != kNativeData) return "an ELF file for another kind of machine";
    Elf64_Ehdr header{};
    if (file.size < sizeof header || !readAt(file, 0, &header, sizeof header))
        return truncated(file, "ELF header", sizeof header);
    if (header.e_type != ET_DYN) return "an ELF file, but not a shared library";
    if (std::string problem = checkProgramHeaders(file, header); !problem.empty()) return problem;
    return checkSectionHeaders(file, header);
}

}  // namespace zephrin::host
