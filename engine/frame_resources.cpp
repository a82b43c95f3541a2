#include "frame_resources.h"

#include <cstring>

#include "format_table.h"
#include "release_interface.h"
#include "show_error.h"

namespace {

// The steps of an allocation after the read-back surface; each reports its
// own failure with the message of its step. The device exists: the
// allocation has made sure.
HRESULT CreateQuad(CorrectionEngine* engine)
{
    ReleaseInterface(engine->quadVertexBuffer);

    // Pixel centres of the render target fall on texel centres of the source
    // only with the half-pixel shift of Direct3D 9's rasterisation rules.
    const float right = static_cast<float>(engine->frameWidth - 0.5);
    const float bottom = static_cast<float>(engine->frameHeight - 0.5);
    const QuadVertex vertices[4] = {
        {-0.5f, -0.5f, 1.0f, 1.0f, 0.0f, 0.0f},
        {right, -0.5f, 1.0f, 1.0f, 1.0f, 0.0f},
        {-0.5f, bottom, 1.0f, 1.0f, 0.0f, 1.0f},
        {right, bottom, 1.0f, 1.0f, 1.0f, 1.0f},
    };
    static_assert(sizeof vertices == 96, "four vertices of 24 bytes");

    HRESULT result = CHECK_CALL(
        engine->device->CreateVertexBuffer(sizeof vertices, D3DUSAGE_WRITEONLY, 0, D3DPOOL_DEFAULT,
                                           &engine->quadVertexBuffer, nullptr),
        errorVertices);
    if (FAILED(result)) {
        return result;
    }
    void* vertexMemory = nullptr;
    result = CHECK_CALL(
        engine->quadVertexBuffer->Lock(0, 0, &vertexMemory, D3DLOCK_DISCARD | D3DLOCK_NOSYSLOCK),
        errorVertices);
    if (FAILED(result)) {
        return result;
    }
    // A lock that succeeds without memory (Wine, out of address space).
    result = CHECK_CALL(vertexMemory, errorVertices);
    if (FAILED(result)) {
        BEST_EFFORT(engine->quadVertexBuffer->Unlock());
        return result;
    }
    std::memcpy(vertexMemory, vertices, sizeof vertices);
    return CHECK_CALL(engine->quadVertexBuffer->Unlock(), errorVertices);
}

HRESULT CreateSourceTexture(CorrectionEngine* engine)
{
    ReleaseInterface(engine->sourceTexture);
    return CHECK_CALL(
        engine->device->CreateTexture(engine->frameWidth, engine->frameHeight, 1, D3DUSAGE_DYNAMIC,
                                      SourceFormatOf(engine->formatKind), D3DPOOL_DEFAULT,
                                      &engine->sourceTexture, nullptr),
        errorTexture);
}

HRESULT CreateRenderTargetSurface(CorrectionEngine* engine)
{
    ReleaseInterface(engine->renderTarget);
    return CHECK_CALL(engine->device->CreateRenderTarget(engine->frameWidth, engine->frameHeight,
                                                         TargetFormatOf(engine->formatKind),
                                                         D3DMULTISAMPLE_NONE, 0, FALSE,
                                                         &engine->renderTarget, nullptr),
                      errorRenderTarget);
}

HRESULT CreateReadbackSurface(CorrectionEngine* engine)
{
    ReleaseInterface(engine->readbackSurface);
    return CHECK_CALL(engine->device->CreateOffscreenPlainSurface(
                          engine->frameWidth, engine->frameHeight,
                          TargetFormatOf(engine->formatKind), D3DPOOL_SYSTEMMEM,
                          &engine->readbackSurface, nullptr),
                      errorSurface);
}

HRESULT CreateDrawResources(CorrectionEngine* engine)
{
    HRESULT result = CreateQuad(engine);
    if (SUCCEEDED(result)) {
        result = CreateSourceTexture(engine);
    }
    if (SUCCEEDED(result)) {
        result = CreateRenderTargetSurface(engine);
    }
    // A fresh query for every allocation: an old one may still wait on an
    // end issued against the objects just replaced.
    if (SUCCEEDED(result)) {
        result = CreateEventQuery(engine);
    }
    return result;
}

}  // namespace

bool FrameShapeAccepted(int32_t width, int32_t height, int32_t pitch)
{
    // Compared unsigned, so a negative side is as unacceptable as a huge one.
    return static_cast<uint32_t>(width) <= static_cast<uint32_t>(maxFrameSide) &&
           static_cast<uint32_t>(height) <= static_cast<uint32_t>(maxFrameSide) && pitch >= 0 &&
           pitch >= width;
}

int ChosenFormatKind(int requestedKind, const bool formatAvailable[textureFormatKindCount])
{
    const int kind = ClampFormatKind(requestedKind);
    if (kind != kindNone && formatAvailable[kind]) {
        return kind;
    }
    for (int lowest = 0; lowest < textureFormatKindCount; ++lowest) {
        if (formatAvailable[lowest]) {
            return lowest;
        }
    }
    return kindNone;
}

bool AllocateFrameResources(CorrectionEngine* engine, int requestedKind, int32_t width,
                            int32_t height, int32_t pitch)
{
    if (engine == nullptr || engine->device == nullptr || engine->effect == nullptr) {
        return false;
    }
    if (!FrameShapeAccepted(width, height, pitch)) {
        return false;
    }
    engine->framePitch = pitch;
    engine->frameWidth = width;
    engine->frameHeight = height;

    engine->formatKind = ChosenFormatKind(requestedKind, engine->formatAvailable);
    if (engine->formatKind == kindNone) {
        ShowError(errorNoFormat);
        return false;
    }

    ReleaseFrameResources(engine);
    if (FAILED(CreateReadbackSurface(engine)) || FAILED(CreateDrawResources(engine))) {
        return false;
    }
    // Bound by name: the texture parameter has no stored handle.
    return SUCCEEDED(CHECK_CALL(engine->effect->SetTexture("txSrc", engine->sourceTexture),
                                errorTextureBinding));
}

bool ReleaseFrameResources(CorrectionEngine* engine)
{
    ReleaseInterface(engine->quadVertexBuffer);
    ReleaseInterface(engine->readbackSurface);
    ReleaseInterface(engine->renderTarget);
    ReleaseInterface(engine->sourceTexture);
    return true;
}
