// "model": a LightWave object of the data directory, kept in a cache beside it.
#include "effect.h"
#include "model.h"

class CEffect_Model : public CEffect
{
public:
    ~CEffect_Model() override { m_Meshes.DeleteAll(); }

    void Read(CContainer& node) override
    {
        CEffect::Read(node);
        node.GetString("modelfile", &m_ModelFile, "");
        if (m_ModelFile.GetLength() > 0)
        {
            const NKeth::CString cacheName("data/%s.bin", m_ModelFile.GetText());
            if (!ReadModelCache(m_Meshes, cacheName))
            {
                const NKeth::CString objectName("data/%s", m_ModelFile.GetText());
                // An object that gave no triangles (an older format, say) leaves no cache
                // that would hide it once it is converted.
                if (BuildModelFromLightWave(m_Meshes, objectName) && HasTriangles(m_Meshes))
                    WriteModelCache(m_Meshes, cacheName);
            }
        }
        ApplyMaterials(m_Meshes, node, System());
        SetOutput("", CVariant::FromPointer(&m_Meshes));
        MakePassive();
    }

    NKeth::TDynamicArray<CMesh*> m_Meshes;
    NKeth::CString m_ModelFile;
};

KETH_REGISTER_CLASS(CEffect_Model, "model");
