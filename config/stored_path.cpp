#include "config/stored_path.h"

#include "platform/text.h"

namespace config {

std::u16string ProgramDirectoryOf(std::u16string_view modulePath) {
    const auto cut = modulePath.rfind(u'\\');
    return std::u16string(cut == std::u16string_view::npos ? modulePath
                                                           : modulePath.substr(0, cut));
}

std::u16string MakeStoredPath(std::u16string_view path, std::u16string_view programDirectory) {
    std::u16string prefix(programDirectory);
    prefix += u'\\';
    if (platform::StartsWithNoCase(path, prefix))
        return std::u16string(path.substr(prefix.size()));
    return std::u16string(path);
}

std::u16string ResolveStoredPath(std::u16string_view stored, std::u16string_view programDirectory) {
    if (stored.empty())
        return {};
    if (stored.size() >= 2 && stored[1] == u':')
        return std::u16string(stored);

    std::u16string d(programDirectory);
    if (!d.empty() && d.back() == u'\\')
        d.pop_back();

    if (stored[0] == u'\\')
        return d.substr(0, 2) + std::u16string(stored);
    if (stored.substr(0, 2) == u".\\")
        return d + std::u16string(stored.substr(1));

    std::size_t k = 0;
    while (stored.substr(k, 3) == u"..\\") {
        const auto cut = d.rfind(u'\\');
        if (cut == std::u16string::npos)
            return {};
        d.resize(cut);
        k += 3;
    }
    return d + u'\\' + std::u16string(stored.substr(k));
}

std::u16string MarkRelativePath(std::u16string_view path) {
    if (path.empty())
        return {};
    if ((path.size() >= 2 && path[1] == u':') || path[0] == u'\\' || path[0] == u'.') {
        return std::u16string(path);
    }
    return u".\\" + std::u16string(path);
}

}  // namespace config
