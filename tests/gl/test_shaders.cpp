// Shader files: the assembly of the two sources, and programs that compile with warnings.
#include "gltest.h"
#include "logcapture.h"

#include "keth/func/stream.h"

using namespace NKeth;

namespace
{
// The sources GL was given for the program's vertex and fragment shaders.
void Sources(const SShaderProgram* program, std::string& vertex, std::string& fragment)
{
    GLhandleARB shaders[4] = {};
    GLsizei count = 0;
    glGetAttachedObjectsARB(GLhandleARB(program->m_Program), 4, &count, shaders);
    ASSERT_EQ(count, 2);
    for (int i = 0; i < count; ++i)
    {
        GLint type = 0, length = 0;
        glGetObjectParameterivARB(shaders[i], GL_OBJECT_SUBTYPE_ARB, &type);
        glGetObjectParameterivARB(shaders[i], GL_OBJECT_SHADER_SOURCE_LENGTH_ARB, &length);
        std::string text(size_t(length) + 1, '\0');
        glGetShaderSourceARB(shaders[i], length + 1, nullptr, &text[0]);
        text.resize(text.find('\0'));
        (type == GL_VERTEX_SHADER_ARB ? vertex : fragment) = text;
    }
}

SShaderProgram* Build(COGLDevice* device, const std::string& text, const char* name = "test.shader")
{
    CMemoryReader reader(text.data(), int32_t(text.size()));
    return device->BuildShader(reader, name);
}

GLint Linked(const SShaderProgram* program)
{
    GLint linked = 0;
    glGetObjectParameterivARB(GLhandleARB(program->m_Program), GL_OBJECT_LINK_STATUS_ARB, &linked);
    return linked;
}
} // namespace

// The part before the first marker is common to both; each section keeps the file's line numbers.
TEST(BuildShader, SectionsKeepTheFileLineNumbers)
{
    REQUIRE_DEVICE();
    const struct
    {
        const char* m_Text;
        const char* m_Vertex;
        const char* m_Fragment;
        bool m_Clean;
    } cases[] = {
        {"// common\n#vertexshader\nvoid main() {\ngl_Position = ftransform(); }\n#fragmentshader\n"
         "void main() { gl_FragColor = vec4(1.0); }\n",
         "// common\n\nvoid main() {\ngl_Position = ftransform(); }\n\n\n",
         "// common\n\n\n\n\nvoid main() { gl_FragColor = vec4(1.0); }\n", true},
        // Every CR LF pair is a line and an empty line.
        {"// common\r\n#vertexshader\r\nvoid main() { gl_Position = ftransform(); }\r\n#fragmentshader\r\n"
         "void main() { gl_FragColor = vec4(1.0); }\r\n",
         "// common\n\n\n\nvoid main() { gl_Position = ftransform(); }\n\n\n\n\n\n",
         "// common\n\n\n\n\n\n\n\nvoid main() { gl_FragColor = vec4(1.0); }\n\n", true},
        // An indented marker is ordinary text: the compiler sees it and complains.
        {" #vertexshader\nvoid main() { gl_Position = ftransform(); }\n",
         " #vertexshader\nvoid main() { gl_Position = ftransform(); }\n",
         " #vertexshader\nvoid main() { gl_Position = ftransform(); }\n", false},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.m_Text);
        CLogCapture log;
        SShaderProgram* program = Build(device, c.m_Text);
        ASSERT_NE(program, nullptr);
        std::string vertex, fragment;
        Sources(program, vertex, fragment);
        EXPECT_EQ(vertex, c.m_Vertex);
        EXPECT_EQ(fragment, c.m_Fragment);
        if (c.m_Clean)
        {
            EXPECT_EQ(log.Text(), "[OPENGL] Compiling shader 'test.shader'... ok\n");
            EXPECT_TRUE(Linked(program));
        }
        else
            EXPECT_TRUE(log.Contains("\ntest.shader:\n")) << log.Text();
        delete program;
    }
}

TEST(BuildShader, WarningOfTheVertexPartIsLoggedAndTheProgramStillUsed)
{
    REQUIRE_DEVICE();
    CLogCapture log;
    SShaderProgram* program =
        Build(device,
              "#vertexshader\n"
              "void main() { vec4 vertex_only; gl_Position = ftransform() + vertex_only * 0.0; }\n"
              "#fragmentshader\n"
              "void main() { vec4 fragment_only; gl_FragColor = vec4(1.0, 0.0, 1.0, 1.0) + fragment_only * "
              "0.0; }\n",
              "warn.shader");
    ASSERT_NE(program, nullptr);
    EXPECT_TRUE(log.Contains("[OPENGL] Compiling shader 'warn.shader'... \nwarn.shader:\n")) << log.Text();
    EXPECT_TRUE(log.Contains("vertex_only")) << log.Text();
    // The fragment and link logs are not looked at once something was said.
    EXPECT_FALSE(log.Contains("fragment_only")) << log.Text();
    EXPECT_FALSE(log.Contains("\nLink:\n")) << log.Text();
    EXPECT_FALSE(log.Contains("ok\n")) << log.Text();
    ASSERT_TRUE(Linked(program));

    delete program;
}

TEST(LoadShader, MissingFileGivesNoneWithoutAMessage)
{
    REQUIRE_DEVICE();
    CLogCapture log;
    EXPECT_EQ(device->LoadShader("/nonexistent/shader.txt"), nullptr);
    EXPECT_EQ(log.Text(), "");
}

TEST(BuildShader, OverlongInputIsRefusedRatherThanOverflowing)
{
    REQUIRE_DEVICE();
    CLogCapture log;
    std::string text = "#vertexshader\n";
    for (int i = 0; i < 1000; ++i)
        text += "// a comment line that is long enough to fill the source buffer quickly\n";
    EXPECT_EQ(Build(device, text), nullptr);
    EXPECT_TRUE(log.Contains("shader refused")) << log.Text();
    EXPECT_EQ(Build(device, "// " + std::string(5000, 'x') + "\n"), nullptr);
}
