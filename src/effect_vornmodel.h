#pragma once
#include "effect.h"
#include "model.h"
#include "stuffreader.h"

// "vornmodel": one model file out of a resource archive, kept in the model cache.
class CEffect_VornModel : public CEffect
{
public:
    // One draw record of the model file.
    struct TriSurface
    {
        uint32_t m_PrimitiveType;
        uint32_t m_Unused1;
        uint32_t m_Unused2;
        uint32_t m_Unused3;
        uint32_t m_FirstIndex;
        uint32_t m_Unused5;
    };
    static constexpr int HEADER_SIZE = 86;

    ~CEffect_VornModel() override;

    void Read(CContainer& node) override;
    // True when the archive entry was read as a model file.
    bool LoadFromArchive(CContainer& parameters);
    // Appends one mesh named default (also when the file is refused); false when in is null
    // or the file is refused or holds no draw records.
    static bool ReadModelFile(NKeth::TDynamicArray<CMesh*>& meshes, NKeth::CInputStream* in);

    NKeth::TDynamicArray<CMesh*> m_Meshes;
};

// "vorntextures": writes the DDS textures below an archive directory as TGA files.
class CEffect_VornTextures : public CEffect
{
public:
    void Read(CContainer& node) override;

    // Every file whose name contains ".dds" below directory, decoded and written under
    // outputDir with its archive directories; returns the number of files written.
    static int ExportTextures(CStuffReader& reader, CContainer* directory, const char* outputDir);
};

// The archive reader of system named by the part of a "stuff" value before "|"; the rest,
// lower-cased, goes to path. Null when the name has no pointer output.
CStuffReader* FindStuffReader(CDemoSystem& system, const NKeth::CString& stuff, NKeth::CString& path);
