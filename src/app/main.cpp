#include "cli/commandline.h"
#include "files/nativefile.h"

#include <QCoreApplication>
#include <cstdio>
#include <dlfcn.h>
#include <string>
#include <unistd.h>

int main(int argc, char* argv[]) {
    QStringList arguments;
    // File names as the system has them, bytes that are not UTF-8 included.
    for (int i = 0; i < argc; ++i)
        arguments << ww::pathFromNative(QByteArray(argv[i]));
    // "wavewright send ..." and the other commands run without a window system; a picture
    // needs the drawing libraries, which come with the window module.
    const bool picture = ww::cli::wantsPicture(arguments);
    if (argc > 1 && ww::cli::isCommand(arguments[1]) && !picture) {
        QCoreApplication app(argc, argv);
        QCoreApplication::setApplicationName(QStringLiteral("wavewright"));
        return ww::cli::run(arguments);
    }
    if (argc > 1 && ww::cli::refuseUnknownCommand(arguments[1]))
        return ww::cli::kUsage;
    // The window lives in a module of its own, so the commands above never load the window
    // libraries. It sits beside the program in the build and in the library folder when
    // installed.
    char self[4096] = {};
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    std::string dir = n > 0 ? std::string(self, static_cast<std::size_t>(n)) : std::string(argv[0]);
    dir.erase(dir.find_last_of('/') + 1);
    std::string why;
    for (const std::string& path : {dir + "wavewright-window.so",
                                    dir + "../" WAVEWRIGHT_MODULE_DIR "/wavewright-window.so"}) {
        if (void* module = dlopen(path.c_str(), RTLD_LAZY | RTLD_LOCAL)) {
            using Main = int (*)(int, char**);
            const char* entry = picture ? "wavewright_picture_main" : "wavewright_window_main";
            if (auto run = reinterpret_cast<Main>(dlsym(module, entry)))
                return run(argc, argv);
        }
        why += std::string("\n  ") + dlerror();
    }
    std::fprintf(stderr, "wavewright: cannot load the window:%s\n", why.c_str());
    return 1;
}
