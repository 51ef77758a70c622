// "shader": a program from a file below data/.
#include "effect_texture.h"
#include "effect_transform.h"
#include "ogldevice.h"

using namespace NKeth;

CEffect_Shader::~CEffect_Shader()
{
    for (int i = 0; i < m_DevicePrograms.GetCount(); ++i)
        if (m_DevicePrograms[i] != m_ShaderProgram)
            delete m_DevicePrograms[i];
    delete m_ShaderProgram;
}

void CEffect_Shader::Read(CContainer& node)
{
    CEffect::Read(node);
    node.GetString("shaderfile", &m_FileName, "");
    // A program with compiler messages is still published: the messages are in the log.
    m_ReadDevice = GetCurrentDevice();
    if (m_FileName.GetLength() > 0 && m_ReadDevice)
        m_ShaderProgram = m_ReadDevice->LoadShader(CString("data/%s", m_FileName.GetText()).GetText());
    SetOutput("", CVariant::FromPointer(m_ShaderProgram));
    MakePassive();
}

void CEffect_Shader::InitDevice(int deviceIndex)
{
    if (deviceIndex < 0)
        return;
    GrowTo(m_DevicePrograms, deviceIndex + 1);
    COGLDevice* device = GetCurrentDevice();
    if (!device || device == m_ReadDevice)
        m_DevicePrograms[deviceIndex] = m_ShaderProgram;
    else if (m_FileName.GetLength() > 0)
        m_DevicePrograms[deviceIndex] =
            device->LoadShader(CString("data/%s", m_FileName.GetText()).GetText());
}

void CEffect_Shader::PrepareDevice(int deviceIndex)
{
    if (deviceIndex >= 0 && deviceIndex < m_DevicePrograms.GetCount())
        SetOutput("", CVariant::FromPointer(m_DevicePrograms[deviceIndex]));
}

KETH_REGISTER_CLASS(CEffect_Shader, "shader");
