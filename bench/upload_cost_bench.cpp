// Where the upload's time goes: the discarding lock of a frame-sized dynamic
// texture, as the plug-in makes and locks it, on a device of its own. Per
// frame it times GetSurfaceLevel + LockRect(DISCARD | NOSYSLOCK), the writes
// into the locked memory, UnlockRect and an event-query wait, then a use of
// the texture by the GPU (StretchRect into a render target of the same
// format, as the draw samples it) and its wait; for four ways of writing:
// none, one byte per 4 KB page, every byte (memset), and every byte a second
// time (the second pass timed alone). It counts how often the lock hands out
// another address than the frame before. Medians per way, size and source
// format of the kinds' table.
//
//   upload_cost_bench [FRAMES]
#include <windows.h>

#include <d3d9.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "engine/format_table.h"
#include "host/seconds_now.h"

namespace {

double Milliseconds()
{
    return SecondsNow() * 1e3;
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

void Wait(IDirect3DQuery9* query)
{
    query->Issue(D3DISSUE_END);
    while (query->GetData(nullptr, 0, D3DGETDATA_FLUSH) == S_FALSE) {
        SwitchToThread();
    }
}

enum Way { noWrites, touchPages, writeAll, writeTwice, wayCount };
const char* const wayNames[wayCount] = {"lock + unlock only", "one byte per page", "every byte",
                                        "every byte again"};

// A source format of the kinds' table: the kinds that upload through it.
struct UploadFormat {
    std::string name;  // "U16, U10 source (8 bytes)"
    D3DFORMAT format;
};

std::vector<UploadFormat> UploadFormats()
{
    std::vector<UploadFormat> formats;
    for (const FormatKindRow& row : formatKinds) {
        const D3DFORMAT format = D3dFormatOf(row.source->format);
        auto same = std::find_if(formats.begin(), formats.end(),
                                 [&](const UploadFormat& f) { return f.format == format; });
        if (same != formats.end()) {
            same->name.insert(same->name.find(" source"), std::string(", ") + row.name);
        } else {
            formats.push_back({std::string(row.name) + " source (" +
                                   std::to_string(row.source->bytes) + " bytes)",
                               format});
        }
    }
    return formats;
}

IDirect3DDevice9* CreateBenchDevice(IDirect3D9* direct3d)
{
    HWND window = CreateWindowExW(0, L"STATIC", L"upload cost", WS_OVERLAPPEDWINDOW, 0, 0, 64, 64,
                                  nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    D3DPRESENT_PARAMETERS parameters = {};
    parameters.Windowed = TRUE;
    parameters.SwapEffect = D3DSWAPEFFECT_DISCARD;
    parameters.BackBufferFormat = D3DFMT_UNKNOWN;
    IDirect3DDevice9* device = nullptr;
    if (direct3d == nullptr ||
        FAILED(direct3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window,
                                      D3DCREATE_SOFTWARE_VERTEXPROCESSING | D3DCREATE_FPU_PRESERVE,
                                      &parameters, &device))) {
        return nullptr;
    }
    return device;
}

// The medians of one way's frames (the first, which sets things up, left
// out) and how often the lock moved.
struct WayTimes {
    std::vector<double> lock, write, unlock, wait, use;
    int moved = 0;
};

void TimeWay(IDirect3DDevice9* device, IDirect3DQuery9* query, IDirect3DTexture9* texture,
             IDirect3DSurface9* target, int way, int frames, int height, WayTimes* times)
{
    void* last = nullptr;
    for (int i = 0; i < frames; ++i) {
        const double t0 = Milliseconds();
        IDirect3DSurface9* surface = nullptr;
        texture->GetSurfaceLevel(0, &surface);
        D3DLOCKED_RECT locked;
        surface->LockRect(&locked, nullptr, D3DLOCK_DISCARD | D3DLOCK_NOSYSLOCK);
        double t1 = Milliseconds();
        unsigned char* bits = static_cast<unsigned char*>(locked.pBits);
        const size_t bytes = static_cast<size_t>(locked.Pitch) * height;
        if (way == touchPages) {
            for (size_t b = 0; b < bytes; b += 4096) bits[b] = 1;
        } else if (way == writeAll || way == writeTwice) {
            std::memset(bits, 1, bytes);
        }
        // The second pass alone is timed: what writing costs once the pages
        // are there.
        double t2 = Milliseconds();
        if (way == writeTwice) {
            t1 = t2;
            std::memset(bits, 2, bytes);
            t2 = Milliseconds();
        }
        surface->UnlockRect();
        const double t3 = Milliseconds();
        Wait(query);
        const double t4 = Milliseconds();
        device->StretchRect(surface, nullptr, target, nullptr, D3DTEXF_NONE);
        Wait(query);
        const double t5 = Milliseconds();
        surface->Release();
        times->moved += i > 0 && locked.pBits != last;
        last = locked.pBits;
        if (i == 0) continue;
        times->lock.push_back(t1 - t0);
        times->write.push_back(t2 - t1);
        times->unlock.push_back(t3 - t2);
        times->wait.push_back(t4 - t3);
        times->use.push_back(t5 - t4);
    }
}

// Every way for one format and size: a line each.
void TimeFormat(IDirect3DDevice9* device, IDirect3DQuery9* query, const UploadFormat& f,
                const int size[2], int frames)
{
    IDirect3DTexture9* texture = nullptr;
    if (FAILED(device->CreateTexture(size[0], size[1], 1, D3DUSAGE_DYNAMIC, f.format,
                                     D3DPOOL_DEFAULT, &texture, nullptr))) {
        std::fprintf(stderr, "upload_cost_bench: no %s texture\n", f.name.c_str());
        return;
    }
    IDirect3DSurface9* target = nullptr;
    if (FAILED(device->CreateRenderTarget(size[0], size[1], f.format, D3DMULTISAMPLE_NONE, 0, FALSE,
                                          &target, nullptr))) {
        std::fprintf(stderr, "upload_cost_bench: no %s render target\n", f.name.c_str());
        texture->Release();
        return;
    }
    for (int way = 0; way < wayCount; ++way) {
        WayTimes t;
        TimeWay(device, query, texture, target, way, frames, size[1], &t);
        std::printf("| %s | %dx%d | %s | %.2f | %.2f | %.2f | %.2f | %.2f | %d of %d |\n",
                    f.name.c_str(), size[0], size[1], wayNames[way], Median(t.lock),
                    Median(t.write), Median(t.unlock), Median(t.wait), Median(t.use), t.moved,
                    frames - 1);
    }
    target->Release();
    texture->Release();
}

}  // namespace

int main(int argc, char** argv)
{
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    const int frames = argc > 1 ? std::max(3, std::atoi(argv[1])) : 9;
    IDirect3D9* direct3d = Direct3DCreate9(D3D_SDK_VERSION);
    IDirect3DDevice9* device = CreateBenchDevice(direct3d);
    if (device == nullptr) {
        std::fprintf(stderr, "upload_cost_bench: no device\n");
        return 1;
    }
    IDirect3DQuery9* query = nullptr;
    device->CreateQuery(D3DQUERYTYPE_EVENT, &query);
    const int sizes[2][2] = {{1920, 1080}, {3840, 2160}};
    std::printf("| texture | size | writes | lock ms | writes ms | unlock ms | wait ms | use + "
                "wait ms | new address |\n");
    std::printf("|---|---|---|---:|---:|---:|---:|---:|---:|\n");
    for (const UploadFormat& f : UploadFormats()) {
        for (const auto& size : sizes) {
            TimeFormat(device, query, f, size, frames);
        }
    }
    query->Release();
    device->Release();
    direct3d->Release();
    return 0;
}
