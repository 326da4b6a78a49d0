#include "renderer/driver/renderer_entry.h"

#include <algorithm>
#include <atomic>
#include <cstring>

#include "common/diagnostic_log.h"
#include "renderer/driver/frame_driver.h"
#include "renderer/runtime/frame_buffers.h"
#include "renderer/runtime/scratch_arrays.h"
#include "renderer/geometry/mesh_storage.h"

namespace zephrin {

namespace {

std::atomic<AEGP_PluginID> gPluginId{0};

void showMessage(const PR_InData* inData, const char* message) {
    if (inData != nullptr && inData->msg_func != nullptr) inData->msg_func(A_Err_NONE, message);
}

A_Err Artie_GlobalSetup(const PR_InData* /*inData*/, PR_GlobalContextH /*globalContext*/,
                        PR_GlobalDataH* /*globalData*/) {
    return guardedEntry("Artie_GlobalSetup", [] {
        logEntry("Artie_GlobalSetup called");
        return A_Err_NONE;
    });
}

A_Err Artie_GlobalSetdown(const PR_InData* /*inData*/, PR_GlobalContextH /*globalContext*/,
                          PR_GlobalDataH /*globalData*/) {
    return guardedEntry("Artie_GlobalSetdown", [] {
        logEntry("Artie_GlobalSetdown called");
        releaseRecycledFrameBuffers();
        releaseRecycledMeshStorage();
        releaseScratchArrays();
        return A_Err_NONE;
    });
}

A_Err Artie_GlobalDoAbout(const PR_InData* inData, PR_GlobalContextH /*globalContext*/, PR_GlobalDataH /*globalData*/) {
    return guardedEntry("Artie_GlobalDoAbout", [inData] {
        showMessage(inData, "Zephrin");
        return A_Err_NONE;
    });
}

A_Err Artie_SetupInstance(const PR_InData* /*inData*/, PR_GlobalContextH /*globalContext*/,
                          PR_InstanceContextH /*instanceContext*/, PR_GlobalDataH /*globalData*/,
                          PR_InstanceFlags /*flags*/, PR_FlatHandle /*flatData*/, PR_InstanceDataH* /*instanceData*/) {
    return guardedEntry("Artie_SetupInstance", [] {
        logEntry("Artie_SetupInstance called");
        return A_Err_NONE;
    });
}

A_Err Artie_SetdownInstance(const PR_InData* /*inData*/, PR_GlobalContextH /*globalContext*/,
                            PR_InstanceContextH /*instanceContext*/, PR_GlobalDataH /*globalData*/,
                            PR_InstanceDataH /*instanceData*/) {
    return guardedEntry("Artie_SetdownInstance", [] {
        logEntry("Artie_SetdownInstance called");
        return A_Err_NONE;
    });
}

A_Err Artie_FlattenInstance(const PR_InData* /*inData*/, PR_GlobalContextH /*globalContext*/,
                            PR_InstanceContextH /*instanceContext*/, PR_GlobalDataH /*globalData*/,
                            PR_InstanceDataH /*instanceData*/, PR_FlatHandle* /*flat*/) {
    return guardedEntry("Artie_FlattenInstance", [] { return A_Err_NONE; });
}

A_Err Artie_DoInstanceDialog(const PR_InData* inData, PR_GlobalContextH /*globalContext*/,
                             PR_InstanceContextH /*instanceContext*/, PR_GlobalDataH /*globalData*/,
                             PR_InstanceDataH /*instanceData*/, PR_DialogResult* result) {
    return guardedEntry("Artie_DoInstanceDialog", [inData, result] {
        showMessage(inData, "Add any options for your Artisan here.");
        if (result != nullptr) *result = PR_DialogResult_NO_CHANGE;
        return A_Err_NONE;
    });
}

A_Err Artie_FrameSetup(const PR_InData* /*inData*/, PR_GlobalContextH /*globalContext*/,
                       PR_InstanceContextH /*instanceContext*/, PR_RenderContextH /*renderContext*/,
                       PR_GlobalDataH /*globalData*/, PR_InstanceDataH /*instanceData*/) {
    return guardedEntry("Artie_FrameSetup", [] {
        logEntry("Artie_FrameSetup called");
        return A_Err_NONE;
    });
}

A_Err Artie_FrameSetdown(const PR_InData* /*inData*/, PR_GlobalContextH /*globalContext*/,
                         PR_InstanceContextH /*instanceContext*/, PR_RenderContextH /*renderContext*/,
                         PR_GlobalDataH /*globalData*/, PR_InstanceDataH /*instanceData*/) {
    return guardedEntry("Artie_FrameSetdown", [] {
        logEntry("Artie_FrameSetdown called");
        return A_Err_NONE;
    });
}

// Answers no query: the host's query record is left as it came.
A_Err Artie_Query(const PR_InData* /*inData*/, PR_GlobalContextH /*globalContext*/,
                  PR_InstanceContextH /*instanceContext*/, PR_QueryContextH /*queryContext*/, PR_QueryType queryType,
                  PR_GlobalDataH /*globalData*/, PR_InstanceDataH /*instanceData*/) {
    return guardedEntry("Artie_Query", [queryType] {
        logEntryNumber("Artie_Query called type=", queryType);
        return A_Err_NONE;
    });
}

A_Err registerArtisan(SPBasicSuite* basic, AEGP_PluginID pluginId, AEGP_GlobalRefcon* globalRefcon) {
    logEntry("EntryPointFunc called");
    if (basic == nullptr) raiseMissingSuite();
    gPluginId.store(pluginId);

    HostSuites suites(basic);
    const auto& registration = suites.acquire<AEGP_RegisterSuite6>(kAEGPRegisterSuite, kAEGPRegisterSuiteVersion6);
    const ArtisanName matchName = makeArtisanName(kArtisanMatchName);
    const ArtisanName displayName = makeArtisanName(kArtisanDisplayName);
    PR_ArtisanEntryPoints callbacks = artisanEntryPoints();

    A_Err error = registration.AEGP_RegisterArtisan(kArtisanApiVersion, kArtisanVersion, pluginId, globalRefcon,
                                                    matchName.data(), displayName.data(), &callbacks);
    if (error == A_Err_NONE) logEntry("AEGP_RegisterArtisan succeeded");

    const ArtisanName legacyName = makeArtisanName(kLegacyArtisanMatchName);
    if (error == A_Err_NONE && std::strcmp(legacyName.data(), matchName.data()) != 0) {
        A_Err legacyError =
            registration.AEGP_RegisterArtisan(kArtisanApiVersion, kArtisanVersion, pluginId, globalRefcon,
                                              legacyName.data(), displayName.data(), &callbacks);
        if (legacyError == A_Err_NONE) {
            logEntry("AEGP_RegisterArtisan legacy succeeded");
        } else {
            logEntryNumber("AEGP_RegisterArtisan legacy failed err=", legacyError);
        }
    }

    if (error == A_Err_NONE) {
        error = registration.AEGP_RegisterDeathHook(pluginId, Artie_DeathHook, nullptr);
        if (error == A_Err_NONE) logEntry("AEGP_RegisterDeathHook succeeded");
    }
    return error;
}

}  // namespace

ArtisanName makeArtisanName(std::string_view name) {
    ArtisanName out{};
    const size_t kept = std::min(name.size(), kArtisanNameCapacity - 1);
    std::copy_n(name.data(), kept, out.data());
    return out;
}

A_Err rendererEntryPoint(SPBasicSuite* basic, A_long /*majorVersion*/, A_long /*minorVersion*/, AEGP_PluginID pluginId,
                         AEGP_GlobalRefcon* globalRefcon) {
    return guardedEntry("EntryPointFunc", [&]() -> A_Err {
        try {
            return registerArtisan(basic, pluginId, globalRefcon);
        } catch (const HostSuiteError& error) {
            // A missing suite is a refusal the host is told about, not a fault: it has its own line.
            logEntry("AEGP_RegisterArtisan failed");
            return error.code;
        }
    });
}

PR_ArtisanEntryPoints artisanEntryPoints() {
    PR_ArtisanEntryPoints table{};
    table.global_setup_func0 = Artie_GlobalSetup;
    table.global_setdown_func0 = Artie_GlobalSetdown;
    table.global_do_about_func0 = Artie_GlobalDoAbout;
    table.setup_instance_func0 = Artie_SetupInstance;
    table.setdown_instance_func0 = Artie_SetdownInstance;
    table.flatten_instance_func0 = Artie_FlattenInstance;
    table.do_instance_dialog_func0 = Artie_DoInstanceDialog;
    table.frame_setup_func0 = Artie_FrameSetup;
    table.render_func = Artie_RenderDispatch;
    table.frame_setdown_func0 = Artie_FrameSetdown;
    table.query_func0 = Artie_Query;
    return table;
}

A_Err Artie_DeathHook(AEGP_GlobalRefcon /*pluginRefcon*/, AEGP_DeathRefcon /*refcon*/) {
    return guardedEntry("Artie_DeathHook", [] {
        logEntry("Artie_DeathHook called");
        releaseRecycledFrameBuffers();
        releaseRecycledMeshStorage();
        releaseScratchArrays();
        return A_Err_NONE;
    });
}

AEGP_PluginID registeredPluginId() { return gPluginId.load(); }

}  // namespace zephrin
