// "vornscr-tool sample DIR": writes the sample show into DIR. The script and shader files are
// kept as they are written under tools/sample/; the binary assets are computed here.
#include "commands.h"
#include "content.h"
#include "sample_assets.h"
#include "sample_encoders.h"
#include "showdir.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

using namespace NContent;
using namespace NSample;
namespace fs = std::filesystem;

namespace NSample
{
struct SShowText
{
    const char* m_Path;
    const char* m_Text;
};
// The files of tools/sample/, embedded by the build.
extern const SShowText SHOW_TEXTS[];
extern const int SHOW_TEXT_COUNT;
} // namespace NSample

namespace
{
bool WriteFile(const fs::path& path, const TBytes& bytes)
{
    std::error_code error;
    fs::create_directories(path.parent_path(), error);
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), std::streamsize(bytes.size()));
    return bool(out.flush());
}

class CShowWriter
{
public:
    explicit CShowWriter(const fs::path& root) : m_Root(root) {}

    void Put(const std::string& name, const TBytes& bytes)
    {
        // After the first failure the rest would fail for the same reason: one line says it.
        if (bytes.empty() || !WriteFile(m_Root / name, bytes))
        {
            if (m_Ok)
                fprintf(stderr, "vornscr-tool: cannot write %s\n", (m_Root / name).string().c_str());
            m_Ok = false;
        }
    }
    const fs::path& Root() const { return m_Root; }
    bool Ok() const { return m_Ok; }
    void Fail() { m_Ok = false; }

private:
    fs::path m_Root;
    bool m_Ok = true;
};

// The archive's contents, kept beside it as the directory it is packed from.
void WriteArchive(CShowWriter& show)
{
    const std::string source = "archive/";
    show.Put(source + "models/torus.mdl", WriteModelFile(GridModel(32, 12, Torus, false, 1)));
    show.Put(source + "models/globe.mdl", WriteModelFile(GridModel(24, 16, Globe, true, 2)));
    show.Put(source + "models/star.mdl", WriteModelFile(GridModel(40, 6, Star, false, 3)));
    show.Put(source + "models/shapes/vase.mdl", WriteModelFile(GridModel(20, 16, Vase, true, 1)));
    show.Put(source + "models/shapes/spring.mdl", WriteModelFile(GridModel(72, 8, Spring, true, 3)));
    show.Put(source + "textures/marble.dds", WriteDDS(Plasma(64, 1.0f), false));
    show.Put(source + "textures/lava.dds", WriteDDS(Plasma(32, 2.5f), true));
    show.Put(source + "textures/decals/stripes.dds", WriteDDS(Stripes(32), true));
    show.Put(source + "textures/decals/rings.dds", WriteDDS(Rings(16), false));
    if (show.Ok() && PackDirectory((show.Root() / "data/sample.stuff").string().c_str(),
                                   (show.Root() / "archive").string().c_str()) != 0)
        show.Fail();
}

void WriteData(CShowWriter& show)
{
    show.Put("data/crystal.lwo", WriteLightWaveObject(Crystal(10)));
    show.Put("data/knot.lwo",
             WriteLightWaveObject(GridObject(96, 10, true, Knot, {"inner", "middle", "outer"})));

    show.Put("data/rings.png", EncodePNG(Rings(64), EPngChannels::GREY));
    show.Put("data/plasma.png", EncodePNG(Plasma(128, 0), EPngChannels::RGB));
    show.Put("data/glassy.png", EncodePNG(Rings(64), EPngChannels::GREY_ALPHA));
    show.Put("data/stripes.png", EncodePNG(Stripes(64), EPngChannels::RGBA));
    show.Put("data/waves.jpg", EncodeJPEG(Plasma(64, 4), false));
    show.Put("data/tiles.jpg", EncodeJPEG(Tiles(64, 0.9f, 0.7f, 0.5f), true));
    show.Put("data/grid.tga", WriteTGA(Tiles(64, 0.5f, 0.8f, 1.0f), false, false));
    show.Put("data/bands.tga", WriteTGA(Bands(64), true, true));
    show.Put("data/pixelart.tga", WriteTGA(Stripes(16), true, false));
    const char* faces[6] = {"px", "nx", "py", "ny", "pz", "nz"};
    for (int i = 0; i < 6; ++i)
        show.Put(std::string("data/sky_") + faces[i] + ".tga", WriteTGA(SkyFace(64, i), i % 2 == 1, false));
}
} // namespace

// Writes the show; 0 on success.
int RunSample(int argc, char** argv)
{
    const bool force = TakeForce(argc, argv);
    if (argc != 1)
    {
        fprintf(stderr, "usage: vornscr-tool sample [--force] DIR\n");
        return 1;
    }
    CShowDirectory directory;
    std::string message;
    if (!directory.Open(argv[0], "sample", force, message))
    {
        fprintf(stderr, "vornscr-tool: %s\n", message.c_str());
        return 1;
    }
    directory.RemoveEarlierShow();
    CShowWriter show{fs::path(argv[0])};
    for (int i = 0; i < SHOW_TEXT_COUNT; ++i)
        show.Put(SHOW_TEXTS[i].m_Path, SHOW_TEXTS[i].m_Text);
    std::error_code error;
    fs::create_directories(show.Root() / "vornscr/cache", error);
    WriteArchive(show);
    WriteData(show);
    if (show.Ok() && !directory.Close(message))
    {
        fprintf(stderr, "vornscr-tool: %s\n", message.c_str());
        show.Fail();
    }
    return show.Ok() ? 0 : 1;
}
