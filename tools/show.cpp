// "vornscr-tool import", "formats" and "show": users' own models into objects and a whole show.
#include "commands.h"
#include "content.h"
#include "import.h"
#include "showdir.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;
using NImport::SOptions;
using NImport::SResult;

namespace
{
const char* const SHOW_USAGE = "usage: vornscr-tool show [--force] [--keep-origin] [--up y|z] DIR INPUT...";
const char* const IMPORT_USAGE = "usage: vornscr-tool import [--keep-origin] [--up y|z] MODEL OUT.lwo";
const char* const STAGING = ".vornscr-tool-new";

int Usage(const char* usage)
{
    fprintf(stderr, "%s\n", usage);
    return 2;
}

// Leading options; false on one that is not known (or not allowed when force is null).
bool TakeOptions(int& argc, char**& argv, SOptions& options, bool* force)
{
    while (argc > 0 && strncmp(argv[0], "--", 2) == 0)
    {
        const std::string option = argv[0];
        if (option == "--keep-origin")
            options.m_KeepOrigin = true;
        else if (option == "--force" && force)
            *force = true;
        else if (option == "--up" && argc > 1 && (strcmp(argv[1], "y") == 0 || strcmp(argv[1], "z") == 0))
        {
            options.m_UpZ = argv[1][0] == 'z';
            --argc, ++argv;
        }
        else
            return false;
        --argc, ++argv;
    }
    return true;
}

std::string Megabytes(uint64_t bytes)
{
    char text[32];
    if (bytes < 1000000)
        snprintf(text, sizeof text, "%.0f kB", double(bytes) / 1e3);
    else
        snprintf(text, sizeof text, "%.1f MB", double(bytes) / 1e6);
    return text;
}

// ---------------------------------------------------------------------------------------------
// The show's script and its screen textures.

struct SModel
{
    std::string m_Name;
    SResult m_Result;
    std::vector<std::string> m_Colours; // palette name per surface
};

struct SColour
{
    const char* m_Name;
    float m_RGBA[4];
};

const SColour BACKDROPS[] = {
    {"night", {0.02f, 0.03f, 0.07f, 1}}, {"dusk", {0.1f, 0.05f, 0.1f, 1}}, {"deep", {0.03f, 0.06f, 0.1f, 1}}};
const SColour WIRES[] = {{"gold", {1, 0.8f, 0.2f, 1}},       {"cyan", {0.2f, 0.9f, 1, 1}},
                         {"rose", {1, 0.35f, 0.5f, 1}},      {"lime", {0.6f, 1, 0.2f, 1}},
                         {"amber", {1, 0.55f, 0.1f, 1}},     {"violet", {0.6f, 0.4f, 1, 1}},
                         {"ivory", {0.95f, 0.92f, 0.8f, 1}}, {"sky", {0.45f, 0.7f, 1, 1}}};
// Effect names and keys of the script that no model or colour may take.
const char* const RESERVED[] = {"colours",   "screena",    "screenb",     "spin",   "eye",       "backdrop",
                                "catalogue", "leftscreen", "rightscreen", "name",   "starttime", "endtime",
                                "duration",  "prio",       "passive",     "INCLUDE"};

std::string Vector(const float* v)
{
    char text[96];
    snprintf(text, sizeof text, "(%.4f %.4f %.4f %.4f)", double(v[0]), double(v[1]), double(v[2]),
             double(v[3]));
    return text;
}

// The catalogue turns each model in one sequence; few models stay longer, many move on sooner.
float SequenceTime(size_t count)
{
    return std::clamp(60.0f / float(count), 4.0f, 12.0f);
}

std::string Script(const std::vector<SModel>& models)
{
    std::ostringstream s;
    const float sequence = SequenceTime(models.size());
    s << "// A show of " << models.size() << " models, written by vornscr-tool show.\n";
    s << "palette {\n\tname colours\n";
    for (const SColour& c : BACKDROPS)
        s << "\t" << c.m_Name << " " << Vector(c.m_RGBA) << "\n";
    for (const SColour& c : WIRES)
        s << "\t" << c.m_Name << " " << Vector(c.m_RGBA) << "\n";
    // The catalogue draws the solid under its wireframe: the model's colours become translucent.
    for (const SModel& m : models)
        for (size_t i = 0; i < m.m_Colours.size(); ++i)
        {
            float rgba[4];
            memcpy(rgba, m.m_Result.m_Surfaces[i].m_Colour, sizeof rgba);
            rgba[3] *= 0.6f;
            s << "\t" << m.m_Colours[i] << " " << Vector(rgba) << "\n";
        }
    s << "}\n\n";
    s << "texture {\n\tname screena\n\ttexturefile \"data/screen_a.tga\"\n}\n";
    s << "texture {\n\tname screenb\n\ttexturefile \"data/screen_b.tga\"\n}\n\n";
    for (const SModel& m : models)
    {
        s << "model {\n\tname " << m.m_Name << "\n\tmodelfile \"" << m.m_Name << ".lwo\"\n\tmaterials {\n";
        for (size_t i = 0; i < m.m_Colours.size(); ++i)
            s << "\t\t" << m.m_Result.m_Surfaces[i].m_Name << " {\n\t\t\tcolor " << m.m_Colours[i]
              << "\n\t\t}\n";
        s << "\t}\n}\n";
    }
    s << R"(
rotate {
	name spin
	prio 1
	timescale 0.4
	position (12 0 0)
}
camera {
	name eye
	prio 2
	transform spin
	nearplane 0.5
	farplane 200
	fov 60
}

// The backdrop changes colour every twenty seconds.
chain {
	name backdrop
	prio 10
	clear {
		starttime 0
		color night
	}
	clear {
		starttime 20
		color dusk
	}
	clear {
		starttime 40
		color deep
	}
}

object {
	name catalogue
	prio 40
)";
    char times[96];
    snprintf(times, sizeof times, "\tsequencetime %.1f\n\tfadetime %.1f\n", double(sequence),
             double(sequence) / 10);
    s << times << "\tmaxsize 8\n\ttransform \"spin.transform\"\n\tobjects {\n";
    const size_t wires = sizeof WIRES / sizeof WIRES[0];
    for (size_t i = 0; i < models.size(); ++i)
        s << "\t\t" << models[i].m_Name << " " << WIRES[i % wires].m_Name << "\n";
    s << "\t}\n}\n";
    s << R"(
screen {
	name leftscreen
	prio 50
	objects catalogue
	texture screena
	radius 16
	anglehorizontal 2.0
	anglevertical 1.2
	divisionhorizontal 8
	divisionvertical 4
}
screen {
	name rightscreen
	prio 51
	objects catalogue
	texture screenb
	radius 20
	divisionhorizontal 6
	divisionvertical 3
}
)";
    return s.str();
}

// Soft concentric bands (a) or a fine lattice (b), fading towards the edges.
NContent::SPixels ScreenTexture(bool lattice)
{
    const int size = 128;
    NContent::SPixels pixels(size, size);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x)
        {
            const float u = (float(x) + 0.5f) / size - 0.5f, v = (float(y) + 0.5f) / size - 0.5f;
            const float r = std::sqrt(u * u + v * v);
            const float wave =
                lattice ? std::max(std::cos(u * 60.0f), std::cos(v * 60.0f)) : std::cos(r * 50.0f);
            const float light = 0.5f + 0.5f * wave;
            const float edge = std::clamp(1.0f - 2.0f * std::max(std::fabs(u), std::fabs(v)), 0.0f, 1.0f);
            uint8_t* p = pixels.At(x, y);
            p[0] = uint8_t(40 + 120 * light);
            p[1] = uint8_t(90 + 120 * light);
            p[2] = uint8_t(160 + 95 * light);
            p[3] = uint8_t(255 * std::min(1.0f, edge * 3.0f) * (0.4f + 0.6f * light));
        }
    return pixels;
}

bool WriteText(const fs::path& path, const std::string& text)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    return bool(out.flush());
}

// ---------------------------------------------------------------------------------------------
// Finding the models in the inputs.

struct SInput
{
    fs::path m_Path;
    std::string m_Skipped; // why it is not imported, when it is not
};

bool Within(const fs::path& path, const fs::path& directory)
{
    const std::string p = path.generic_string(), d = directory.generic_string();
    return p.size() > d.size() && p.compare(0, d.size(), d) == 0 && p[d.size()] == '/';
}

std::vector<SInput> FindModels(int argc, char** argv, const fs::path& show)
{
    std::vector<SInput> found;
    std::set<fs::path> seen;
    std::error_code code;
    const fs::path own = fs::weakly_canonical(show, code);
    auto add = [&](const fs::path& path, const std::string& skipped)
    {
        const fs::path key = fs::weakly_canonical(path, code);
        if (seen.insert(key).second && !Within(key, own))
            found.push_back({path, skipped});
    };
    for (int i = 0; i < argc; ++i)
    {
        const fs::path input(argv[i]);
        if (fs::is_directory(input, code))
        {
            std::vector<fs::path> files;
            const auto options = fs::directory_options::skip_permission_denied;
            for (fs::recursive_directory_iterator it(input, options, code), end; !code && it != end;
                 it.increment(code))
            {
                std::error_code fileCode;
                if (it->is_directory(fileCode) && fs::weakly_canonical(it->path(), fileCode) == own)
                    it.disable_recursion_pending();
                else if (it->is_regular_file(fileCode) &&
                         NImport::HasModelExtension(it->path().string(), true))
                    files.push_back(it->path());
            }
            std::sort(files.begin(), files.end());
            for (const fs::path& file : files)
                add(file, "");
            if (code)
                add(input, "cannot search: " + code.message());
            code.clear();
        }
        else if (!fs::exists(input, code))
            add(input, "cannot open: no such file or directory");
        else if (!NImport::HasModelExtension(input.string(), false))
            add(input, "not a model file by its extension (see vornscr-tool formats)");
        else
            add(input, "");
    }
    return found;
}

// Standard error on a terminal gets one line that is redrawn; elsewhere one line per model.
class CProgress
{
public:
    explicit CProgress(size_t total) : m_Total(total), m_Terminal(isatty(2) != 0) {}
    void Start(size_t index, const std::string& name)
    {
        if (m_Terminal)
            Bar(index, name + " ...");
    }
    void Done(size_t index, const std::string& name, const SResult& result)
    {
        char text[64];
        snprintf(text, sizeof text, "%llu triangle%s", static_cast<unsigned long long>(result.m_Triangles),
                 result.m_Triangles == 1 ? "" : "s");
        const std::string outcome = result.m_Error.empty() ? text : "skipped: " + result.m_Error;
        if (m_Terminal && result.m_Error.empty())
            Bar(index + 1, name + ": " + outcome);
        else
            fprintf(stderr, "%s[%zu/%zu] %s: %s\n", m_Terminal ? "\r\033[K" : "", index + 1, m_Total,
                    name.c_str(), outcome.c_str());
    }
    void End()
    {
        if (m_Terminal)
            fprintf(stderr, "\r\033[K");
    }

private:
    void Bar(size_t done, const std::string& text)
    {
        const size_t width = 24, filled = m_Total ? done * width / m_Total : width;
        fprintf(stderr, "\r\033[K[%s%s] %zu/%zu %s", std::string(filled, '#').c_str(),
                std::string(width - filled, '.').c_str(), done, m_Total, text.substr(0, 60).c_str());
        fflush(stderr);
    }
    size_t m_Total;
    bool m_Terminal;
};

bool MoveInto(const fs::path& from, const fs::path& to, std::string& error)
{
    std::error_code code;
    for (fs::recursive_directory_iterator it(from, code), end; !code && it != end; it.increment(code))
    {
        if (!it->is_regular_file(code))
            continue;
        const fs::path target = to / fs::relative(it->path(), from, code);
        fs::create_directories(target.parent_path(), code);
        fs::rename(it->path(), target, code);
        if (code)
        {
            error = "cannot move " + it->path().string() + " to " + target.string() + ": " + code.message();
            return false;
        }
    }
    fs::remove_all(from, code);
    return true;
}
} // namespace

int RunFormats(int argc, char**)
{
    if (argc != 0)
        return Usage("usage: vornscr-tool formats");
    for (const std::string& extension : NImport::Extensions())
        printf("%s\n", extension.c_str());
    return 0;
}

int RunImport(int argc, char** argv)
{
    SOptions options;
    if (!TakeOptions(argc, argv, options, nullptr) || argc != 2)
        return Usage(IMPORT_USAGE);
    const std::string in = argv[0], out = argv[1];
    if (out.size() < 5 || out.compare(out.size() - 4, 4, ".lwo") != 0)
    {
        fprintf(stderr, "vornscr-tool: %s: the object's name must end in .lwo\n", out.c_str());
        return 2;
    }
    std::error_code code;
    if (fs::exists(out, code) && fs::equivalent(in, out, code))
    {
        fprintf(stderr, "vornscr-tool: %s: will not write over the model it reads\n", out.c_str());
        return 2;
    }
    const SResult result = NImport::ImportModel(in, out, options);
    if (!result.m_Error.empty())
    {
        fprintf(stderr, "vornscr-tool: %s: %s\n", in.c_str(), result.m_Error.c_str());
        return 1;
    }
    printf("%s: %llu triangles, %zu surfaces\n", out.c_str(),
           static_cast<unsigned long long>(result.m_Triangles), result.m_Surfaces.size());
    return 0;
}

int RunShow(int argc, char** argv)
{
    SOptions options;
    bool force = false;
    if (!TakeOptions(argc, argv, options, &force) || argc < 2)
        return Usage(SHOW_USAGE);
    const fs::path root(argv[0]);
    const std::vector<SInput> inputs = FindModels(argc - 1, argv + 1, root);
    if (inputs.empty())
    {
        fprintf(stderr, "vornscr-tool: no model files in the inputs (see vornscr-tool formats)\n");
        return 1;
    }
    CShowDirectory directory;
    std::string error;
    if (!directory.Open(root, "show", force, error))
    {
        fprintf(stderr, "vornscr-tool: %s\n", error.c_str());
        return 1;
    }
    const fs::path staging = root / STAGING;
    std::error_code code;
    fs::remove_all(staging, code);
    if (!fs::create_directories(staging / "data", code) || !fs::create_directories(staging / "vornscr", code))
    {
        fprintf(stderr, "vornscr-tool: cannot write into %s: %s\n", root.string().c_str(),
                code.message().c_str());
        return 1;
    }

    std::set<std::string> used(std::begin(RESERVED), std::end(RESERVED));
    for (const SColour& c : BACKDROPS)
        used.insert(c.m_Name);
    for (const SColour& c : WIRES)
        used.insert(c.m_Name);
    std::vector<SModel> models;
    std::vector<std::pair<std::string, std::string>> skipped;
    uint64_t triangles = 0, bytes = 0;
    CProgress progress(inputs.size());
    for (size_t i = 0; i < inputs.size(); ++i)
    {
        const SInput& input = inputs[i];
        const std::string label = input.m_Path.filename().string();
        progress.Start(i, label);
        SModel model;
        std::set<std::string> tried = used;
        model.m_Name = NImport::UniqueWord(input.m_Path.stem().string(), tried);
        model.m_Result.m_Error = input.m_Skipped;
        if (model.m_Result.m_Error.empty())
            model.m_Result = NImport::ImportModel(
                input.m_Path.string(), (staging / "data" / (model.m_Name + ".lwo")).string(), options);
        progress.Done(i, label, model.m_Result);
        if (!model.m_Result.m_Error.empty())
        {
            skipped.emplace_back(input.m_Path.string(), model.m_Result.m_Error);
            continue;
        }
        used = tried;
        for (const NImport::SSurface& surface : model.m_Result.m_Surfaces)
            model.m_Colours.push_back(NImport::UniqueWord(model.m_Name + "_" + surface.m_Name, used));
        triangles += model.m_Result.m_Triangles;
        bytes += model.m_Result.m_Bytes;
        models.push_back(model);
    }
    progress.End();

    bool ok = !models.empty();
    if (ok)
    {
        const std::string script = Script(models);
        const NContent::TBytes a = NContent::WriteTGA(ScreenTexture(false), true, true);
        const NContent::TBytes b = NContent::WriteTGA(ScreenTexture(true), true, true);
        ok = WriteText(staging / "vornscr/script.txt", script) &&
             WriteText(staging / "data/screen_a.tga", a) && WriteText(staging / "data/screen_b.tga", b);
        bytes += script.size() + a.size() + b.size();
        if (!ok)
            error = "cannot write the script into " + staging.string();
        if (ok)
        {
            directory.RemoveEarlierShow();
            ok = MoveInto(staging, root, error) && directory.Close(error);
        }
        if (!ok)
            fprintf(stderr, "vornscr-tool: %s\n", error.c_str());
    }
    fs::remove_all(staging, code);

    const fs::path where = fs::absolute(root, code);
    printf("%zu models imported, %zu skipped, %llu triangles in all, %s on disk\n", models.size(),
           skipped.size(), static_cast<unsigned long long>(triangles), Megabytes(bytes).c_str());
    for (const auto& s : skipped)
        printf("skipped %s: %s\n", s.first.c_str(), s.second.c_str());
    if (ok)
    {
        const std::string path = where.string();
        const bool plain = path.find_first_of(" \t'\"$&;()|<>*?") == std::string::npos;
        printf("play it: cd %s && vornscr -window\n", (plain ? path : "'" + path + "'").c_str());
    }
    else if (models.empty())
        printf("no show written; %s is unchanged\n", where.string().c_str());
    return ok ? 0 : 1;
}
