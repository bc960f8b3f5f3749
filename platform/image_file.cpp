#include "platform/image_file.h"

#include "platform/codec_bmp.h"
#include "platform/codec_jpeg.h"
#include "platform/codec_png.h"
#include "platform/codec_tiff.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <sys/stat.h>
#include <unistd.h>

namespace quadrel {

namespace {

bool equalsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char ca = a[i], cb = b[i];
        if (ca >= 'a' && ca <= 'z') ca = static_cast<char>(ca - 'a' + 'A');
        if (cb >= 'a' && cb <= 'z') cb = static_cast<char>(cb - 'a' + 'A');
        if (ca != cb) return false;
    }
    return true;
}

bool encodeJpegDefault(const Bitmap& b, std::vector<uint8_t>& out, std::string& error) {
    return encodeJpeg(b, out, error, kDefaultJpegQuality);
}

} // namespace

ImageFormat detectImageFormat(std::span<const uint8_t> bytes) {
    if (isPng(bytes)) return ImageFormat::Png;
    if (isJpeg(bytes)) return ImageFormat::Jpeg;
    if (isTiff(bytes)) return ImageFormat::Tiff;
    if (isBmp(bytes)) return ImageFormat::Bmp;
    return ImageFormat::Unknown;
}

BitmapPtr decodeImage(std::span<const uint8_t> bytes, std::string& error) {
    switch (detectImageFormat(bytes)) {
    case ImageFormat::Png:
        return decodePng(bytes, error);
    case ImageFormat::Jpeg:
        return decodeJpeg(bytes, error);
    case ImageFormat::Tiff:
        return decodeTiff(bytes, error);
    case ImageFormat::Bmp:
        return decodeBmp(bytes, error);
    case ImageFormat::Unknown:
        break;
    }
    error = "unknown image format";
    return nullptr;
}

BitmapPtr openImageFile(const std::string& path, std::string& error) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) {
        error = "cannot open " + path;
        return nullptr;
    }
    const std::streamoff size = in.tellg();
    if (size < 0 || static_cast<uint64_t>(size) > kMaxImageFileBytes) {
        error = "the file is too large to be a picture: " + path;
        return nullptr;
    }
    std::vector<uint8_t> bytes;
    try {
        bytes.resize(static_cast<size_t>(size));
    } catch (const std::bad_alloc&) {
        error = "not enough memory to read " + path;
        return nullptr;
    }
    in.seekg(0);
    if (!in.read(reinterpret_cast<char*>(bytes.data()), size)) {
        error = "cannot read " + path;
        return nullptr;
    }
    return decodeImage(bytes, error);
}

const std::vector<ImageEncoder>& imageEncoders() {
    static const std::vector<ImageEncoder> encoders = {
        {"BMP", "*.BMP;*.DIB;*.RLE", "image/bmp", encodeBmp},
        {"JPEG", "*.JPG;*.JPEG;*.JPE;*.JFIF", "image/jpeg", encodeJpegDefault},
        {"TIFF", "*.TIF;*.TIFF", "image/tiff", encodeTiff},
        {"PNG", "*.PNG", "image/png", encodePng},
    };
    return encoders;
}

std::string pathExtension(std::string_view path) {
    const size_t slash = path.find_last_of('/');
    const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    const size_t dot = name.find_last_of('.');
    if (dot == std::string_view::npos) return {};
    return std::string(name.substr(dot));
}

const ImageEncoder* findEncoderForExtension(std::string_view extension) {
    if (extension.empty()) return nullptr;
    for (const ImageEncoder& e : imageEncoders()) {
        std::string_view patterns = e.filenameExtension;
        while (!patterns.empty()) {
            const size_t semi = patterns.find(';');
            const std::string_view pattern = patterns.substr(0, semi);
            patterns = semi == std::string_view::npos ? std::string_view() : patterns.substr(semi + 1);
            const std::string ext = pathExtension(pattern);
            if (!ext.empty() && equalsNoCase(ext, extension)) return &e;
        }
    }
    return nullptr;
}

namespace {

bool writeAll(int fd, std::span<const uint8_t> bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

} // namespace

bool writeFileReplacing(const std::string& requested, std::span<const uint8_t> bytes, std::string& error) {
    // A link is followed: the file it points to is replaced and the link stays.
    std::string path = requested;
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        if (char* real = ::realpath(requested.c_str(), nullptr)) {
            path = real;
            std::free(real);
        }
    }
    const bool exists = ::stat(path.c_str(), &st) == 0;
    if (exists && !S_ISREG(st.st_mode)) {
        // Devices and pipes cannot be replaced by renaming; they are written as they are.
        const int fd = ::open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
        const bool ok = fd >= 0 && writeAll(fd, bytes) && ::close(fd) == 0;
        if (!ok) error = "cannot write " + requested + ": " + std::strerror(errno);
        return ok;
    }
    const size_t slash = path.find_last_of('/');
    const std::string dir = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
    std::string tmpl = dir + "/.quadrel-XXXXXX";
    const int fd = ::mkostemp(tmpl.data(), O_CLOEXEC);
    if (fd < 0) {
        error = "cannot write beside " + requested + ": " + std::strerror(errno);
        return false;
    }
    bool ok = writeAll(fd, bytes) && ::fsync(fd) == 0;
    int savedErrno = errno;
    // A replaced file keeps its permissions; a new one gets what an ordinary create would give it.
    mode_t mode = 0;
    if (exists) {
        mode = st.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    if (ok && ::fchmod(fd, mode) != 0) ok = false, savedErrno = errno;
    if (::close(fd) != 0 && ok) ok = false, savedErrno = errno;
    if (ok && std::rename(tmpl.c_str(), path.c_str()) != 0) ok = false, savedErrno = errno;
    if (!ok) {
        error = "cannot write " + requested + ": " + std::strerror(savedErrno);
        std::remove(tmpl.c_str());
    }
    return ok;
}

bool saveWithEncoder(const Bitmap& bitmap, const std::string& path, const ImageEncoder& encoder, std::string& error) {
    std::vector<uint8_t> bytes;
    if (!encoder.encode(bitmap, bytes, error)) return false;
    return writeFileReplacing(path, bytes, error);
}

bool saveImage(const Bitmap& bitmap, const std::string& path, const DocumentImageRoute& documentRoute) {
    const std::string ext = pathExtension(path);
    if (equalsNoCase(ext, ".ddm")) return documentRoute ? documentRoute(bitmap, path) : false;
    const ImageEncoder* encoder = findEncoderForExtension(ext);
    if (!encoder) return false;
    std::string error;
    return saveWithEncoder(bitmap, path, *encoder, error);
}

} // namespace quadrel
