// "shader": a program from a file below data/.
#include "effect_texture.h"
#include "effect_transform.h"
#include "ogldevice.h"

using namespace NKeth;

CEffect_Shader::~CEffect_Shader()
{
    delete m_ShaderProgram;
}

void CEffect_Shader::Read(CContainer& node)
{
    CEffect::Read(node);
    node.GetString("shaderfile", &m_FileName, "");
    // A program with compiler messages is still published: the messages are in the log.
    if (m_FileName.GetLength() > 0)
        if (COGLDevice* device = GetCurrentDevice())
            m_ShaderProgram = device->LoadShader(CString("data/%s", m_FileName.GetText()).GetText());
    SetOutput("", CVariant::FromPointer(m_ShaderProgram));
    MakePassive();
}

KETH_REGISTER_CLASS(CEffect_Shader, "shader");
