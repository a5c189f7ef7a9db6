#include "io/Paths.h"

#include "io/Text.h"

#include <vector>

namespace {

bool EndsFolder(char c, PathStyle style) {
    return style == PathStyle::Windows ? (c == '\\' || c == ':') : c == '/';
}

// The drive of a Windows path: "X:" or "\\server\share"; empty otherwise.
std::string_view DriveOf(std::string_view path, PathStyle style) {
    if (style != PathStyle::Windows) return {};
    if (path.size() >= 2 && path[1] == ':') return path.substr(0, 2);
    if (path.size() >= 2 && path[0] == '\\' && path[1] == '\\') {
        // Up to (not including) the "\" that ends the share name.
        const auto serverEnd = path.find('\\', 2);
        if (serverEnd == std::string_view::npos) return path;
        const auto shareEnd = path.find('\\', serverEnd + 1);
        return shareEnd == std::string_view::npos ? path : path.substr(0, shareEnd);
    }
    return {};
}

std::vector<std::string_view> Components(std::string_view path, char separator) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= path.size(); ++i) {
        if (i == path.size() || path[i] == separator) {
            parts.push_back(path.substr(start, i - start));
            start = i + 1;
        }
    }
    return parts;
}

bool SameComponent(std::string_view a, std::string_view b, PathStyle style) {
    return style == PathStyle::Windows ? EqualsIgnoreAsciiCase(a, b) : a == b;
}

} // namespace

char PathSeparator(PathStyle style) { return style == PathStyle::Windows ? '\\' : '/'; }

std::string WithTrailingSeparator(std::string_view path, PathStyle style) {
    std::string out(path);
    if (out.empty() || out.back() != PathSeparator(style)) out += PathSeparator(style);
    return out;
}

std::string FolderOf(std::string_view path, PathStyle style) {
    for (std::size_t i = path.size(); i > 0; --i)
        if (EndsFolder(path[i - 1], style)) return std::string(path.substr(0, i));
    return {};
}

std::string FileNameOf(std::string_view path, PathStyle style) {
    return std::string(path.substr(FolderOf(path, style).size()));
}

std::string ExtensionOf(std::string_view path, PathStyle style) {
    for (std::size_t i = path.size(); i > 0; --i) {
        const char c = path[i - 1];
        if (c == '.') return std::string(path.substr(i - 1));
        if (EndsFolder(c, style)) break;
    }
    return {};
}

std::string FileTypeOf(std::string_view path, PathStyle style) {
    const std::string extension = ExtensionOf(path, style);
    return extension.empty() ? std::string() : AsciiUpper(std::string_view(extension).substr(1));
}

std::string RelativeFolderPath(std::string_view base, std::string_view folder, PathStyle style) {
    const std::string_view baseDrive = DriveOf(base, style);
    const std::string_view folderDrive = DriveOf(folder, style);
    if (!EqualsIgnoreAsciiCase(baseDrive, folderDrive)) return std::string(folder);

    const char separator = PathSeparator(style);
    const auto baseParts = Components(base.substr(baseDrive.size()), separator);
    const auto folderParts = Components(folder.substr(folderDrive.size()), separator);
    std::size_t common = 0;
    while (common < baseParts.size() && common < folderParts.size() &&
           SameComponent(baseParts[common], folderParts[common], style))
        ++common;

    std::string result;
    // A component of B followed by a separator in B is every one but the last
    // (the text after the final separator, empty for a folder path).
    for (std::size_t k = common; k + 1 < baseParts.size(); ++k) {
        result += "..";
        result += separator;
    }
    for (std::size_t k = common; k + 1 < folderParts.size(); ++k) {
        result += folderParts[k];
        result += separator;
    }
    return result;
}

std::string RelativePathOf(std::string_view root, std::string_view folder, PathStyle style) {
    std::string relative = RelativeFolderPath(WithTrailingSeparator(root, style), folder, style);
    // A folder outside the root (a playlist entry kept elsewhere) is shown by
    // its full path: a chain of "../" says less and reads worse.
    const std::string up = std::string("..") + PathSeparator(style);
    if (relative.compare(0, up.size(), up) == 0) return std::string(folder);
    return relative;
}

std::string ResolvePlaylistEntry(std::string_view entry, std::string_view playlist, PathStyle style) {
    if (style == PathStyle::Windows) {
        if (entry.size() >= 2 && entry[1] == ':') return std::string(entry);
        if (!entry.empty() && entry[0] == '\\') return std::string(playlist.substr(0, 2)) + std::string(entry);
    } else if (!entry.empty() && entry[0] == '/') {
        return std::string(entry);
    }
    return FolderOf(playlist, style) + std::string(entry);
}

std::string DriveRootOf(std::string_view path, PathStyle style) {
    if (style != PathStyle::Windows) return std::string(1, PathSeparator(style));
    const std::string_view drive = DriveOf(path, style);
    return drive.empty() ? std::string() : WithTrailingSeparator(drive, style);
}

bool IsAbsoluteTrackPath(std::string_view path, PathStyle style) {
    if (style == PathStyle::Windows)
        return (path.size() >= 2 && path[1] == ':') || (path.size() >= 2 && path[0] == '\\' && path[1] == '\\');
    return !path.empty() && path[0] == '/';
}
