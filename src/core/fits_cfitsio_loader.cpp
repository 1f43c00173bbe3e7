// Loads cfitsio the first time a frame needs it (see fits_foreign_cfitsio.h).
#if LV_CFITSIO_ON_DEMAND
#include <dlfcn.h>

#include <type_traits>

#include "core/fits_foreign_cfitsio.h"

namespace lv::foreign {

namespace {

struct Loaded {
    CfitsioCalls calls{};
    std::string why;  // empty when loaded
};

Loaded load()
{
    Loaded out;
    void* lib = ::dlopen(LV_CFITSIO_SONAME, RTLD_NOW | RTLD_LOCAL);
    if (!lib) {
        const char* e = ::dlerror();
        out.why = std::string("compressed frames and images in extensions are read through cfitsio, which cannot "
                              "be loaded (") +
                  (e ? e : LV_CFITSIO_SONAME) + ")";
        return out;
    }
    bool all = true;
    auto find = [&](auto& call, const char* name) {
        call = reinterpret_cast<std::remove_reference_t<decltype(call)>>(::dlsym(lib, name));
        if (!call && all) {
            all = false;
            out.why = std::string("the cfitsio library ") + LV_CFITSIO_SONAME + " has no " + name;
        }
    };
    CfitsioCalls& c = out.calls;
    find(c.getErrStatus, "ffgerr");
    find(c.clearErrMsg, "ffcmsg");
    find(c.freeMemory, "fffree");
    find(c.getHduAddr, "ffghadll");
    find(c.closeFile, "ffclos");
    find(c.openDiskFile, "ffdkopn");
    find(c.getImgDim, "ffgidm");
    find(c.hdr2str, "ffhdr2str");
    find(c.isCompressedImage, "fits_is_compressed_image");
    find(c.movAbsHdu, "ffmahd");
    find(c.movRelHdu, "ffmrhd");
    find(c.readCol, "ffgcv");
    find(c.readDescript, "ffgdesll");
    find(c.readImg, "ffgpv");
    find(c.readImgNull, "ffgpf");
    find(c.readKey, "ffgky");
    find(c.setBscale, "ffpscl");
    find(c.moveByte, "ffmbyt");
    find(c.getBytes, "ffgbyt");
    return out;  // the library stays loaded for the life of the program
}

const Loaded& loaded()
{
    static const Loaded once = load();
    return once;
}

}  // namespace

const CfitsioCalls* loadCfitsio(std::string& why)
{
    const Loaded& l = loaded();
    why = l.why;
    return l.why.empty() ? &l.calls : nullptr;
}

const CfitsioCalls& cfitsio() { return loaded().calls; }

}  // namespace lv::foreign
#endif
