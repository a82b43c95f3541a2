// Inside the engine: the one record through which all GPU work of the
// plug-in goes, and the operations that live as long as the device:
// creation, the format and effect setup, the per-frame device check with its
// recovery, and teardown. The plug-in sees engine_interface.h alone; the
// engine's tests work on the record through this header.
#pragma once

#include <cstdint>

#include <d3d9.h>
#include <d3dx9.h>

#include "engine_interface.h"
#include "filter_description.h"
#include "host_interface/host_records.h"
#include "host_interface/texture_format_kind.h"
#include "row_bands.h"

// D3DXCreateEffectFromResourceW, taken from d3dx9_40.dll at engine start: the
// plug-in does not import D3DX, so that it loads where the DirectX end-user
// runtime is missing and can say so. Everything else of D3DX it uses goes
// through the effect's COM interface.
typedef HRESULT(WINAPI* CreateEffectFromResourceFunction)(IDirect3DDevice9*, HMODULE, LPCWSTR,
                                                          const D3DXMACRO*, ID3DXInclude*, DWORD,
                                                          ID3DXEffectPool*, ID3DXEffect**,
                                                          ID3DXBuffer**);

struct CorrectionEngine {
    const FilterDescription* filter;  // whose tracks, effect and parameters
    IDirect3D9* direct3d;
    IDirect3DDevice9* device;
    IDirect3DTexture9* sourceTexture;          // packed input frame, bound to txSrc
    IDirect3DSurface9* renderTarget;           // the effect draws here
    IDirect3DSurface9* readbackSurface;        // system-memory copy of renderTarget
    IDirect3DVertexBuffer9* quadVertexBuffer;  // four QuadVertex values
    IDirect3DVertexDeclaration9* vertexDeclaration;
    ID3DXEffect* effect;
    IDirect3DQuery9* eventQuery;  // D3DQUERYTYPE_EVENT
    D3DXHANDLE parameters[largestParameterCount];   // by the filter's parameter row
    D3DXHANDLE techniques[textureFormatKindCount];  // each kind's, by its row's name
    int32_t frameWidth;  // of the current per-size objects, -1 before any
    int32_t frameHeight;
    int32_t framePitch;                            // host row distance in pixels (maxWidth)
    bool sseUsable;                                // decided once, by ProbeSse
    int32_t formatKind;                            // TextureFormatKind in use, kindNone before any
    bool formatAvailable[textureFormatKindCount];  // as probed at device creation
    HMODULE d3dxModule;                            // d3dx9_40.dll while the engine lives
    CreateEffectFromResourceFunction createEffectFromResource;  // from d3dxModule
    RowBands rowBands;  // the converters' workers, none before the start
    // The frame's flags. reallocNeeded: the per-size objects must be rebuilt
    // before the next upload (set at the start, when the size or kind asked
    // for changes, after a reset and a release; cleared by a rebuild).
    // paramsChanged: the next frame sends the tracks to the effect.
    bool reallocNeeded;
    bool paramsChanged;
};

// A pre-transformed vertex of the screen quad: position x, y, z, rhw, then
// texture coordinates u, v. 24 bytes with no gaps, as the declaration says.
struct QuadVertex {
    float x, y, z, rhw;
    float u, v;
};
static_assert(sizeof(QuadVertex) == 24, "QuadVertex is six packed floats");

// Fills the defaults of a freshly allocated record for the filter and
// returns it.
CorrectionEngine* InitEngine(CorrectionEngine* engine, const FilterDescription* filter);

// Brings up Direct3D for the engine: D3DX (LoadD3dx, unless
// already loaded) before anything else, then the device on the host's
// window, the format probe, the filter's effect from the module's resources,
// the vertex declaration and the event query. On the first failure it shows
// that step's message, releases what the steps before it made
// (ReleaseDeviceObjects) and returns false.
bool CreateEngineDevice(CorrectionEngine* engine, const FilterContext* context);

// Ends the workers, then releases everything the record holds, D3DX last (the effect's code lives
// in it); safe on any state, any number of times.
void DestroyEngine(CorrectionEngine* engine);

// The D3DX library of the plug-in.
constexpr const wchar_t* d3dxLibraryName = L"d3dx9_40.dll";

// Loads `library` into the record and takes its entry points. When the
// library or an entry point is missing, shows the message that names
// d3dx9_40.dll and the DirectX end-user runtime, leaves the record without
// a module and returns false.
bool LoadD3dx(CorrectionEngine* engine, const wchar_t* library);

// Frees the record's D3DX library; safe when none is loaded.
void FreeD3dx(CorrectionEngine* engine);

// Which format kinds the card renders to (formatAvailable), after the
// texture capabilities the engine needs; each missing kind shows its text.
// D3DERR_INVALIDCALL without a word when there is no device yet.
HRESULT ProbeTextureFormats(CorrectionEngine* engine);
// The filter's effect from the module's resources and the handles of its
// parameters (by row) and techniques; the same silent refusal without a
// device or D3DX.
HRESULT LoadEffect(CorrectionEngine* engine, HMODULE module);
// Makes the event query anew; reports a failure, refuses silently without a
// device.
HRESULT CreateEventQuery(CorrectionEngine* engine);

// Releases every Direct3D and D3DX object of the record (the frame's, the
// effect, the declaration, the query, the device, Direct3D), keeping D3DX
// loaded and the workers running; repeatable.
void ReleaseDeviceObjects(CorrectionEngine* engine);

// Every frame before any allocation or transfer: true when the frame may be
// processed; recovers a device that waits for a reset, which sets
// reallocNeeded.
bool CheckDevice(CorrectionEngine* engine);
