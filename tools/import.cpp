#include "import.h"

#include "content.h"
#include "model.h"

#include <assimp/DefaultLogger.hpp>
#include <assimp/Importer.hpp>
#include <assimp/LogStream.hpp>
#include <assimp/config.h>
#include <assimp/material.h>
#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <new>
#include <poll.h>
#include <signal.h>
#include <sstream>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__)
#define VORNSCR_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VORNSCR_ASAN 1
#endif
#endif

namespace NImport
{
namespace
{
// Point and polygon numbers are written in at most three bytes.
const uint64_t MAX_ITEMS = 0xFFFFFF;
// Beyond this a squared distance no longer fits a float.
const double MAX_COORDINATE = 1e15;
// A model smaller than this share of its distance from the origin has lost its shape to float
// rounding already.
const double MIN_RELATIVE_SIZE = 1e-5;
const int TIME_LIMIT_SECONDS = 300;
const char* const NO_TRIANGLES =
    "no triangles (the file holds only points, lines, flat triangles or nothing)";

std::string Lower(std::string text)
{
    for (char& c : text)
        c = char(tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string Extension(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    const size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash) || dot + 1 == path.size())
        return "";
    return Lower(path.substr(dot));
}

bool FileSize(const std::string& path, uint64_t& size)
{
    FILE* f = fopen(path.c_str(), "rb");
    if (!f)
        return false;
    const bool ok = fseek(f, 0, SEEK_END) == 0;
    const long end = ftell(f);
    fclose(f);
    size = end > 0 ? uint64_t(end) : 0;
    return ok && end >= 0;
}

bool WriteBytes(const std::string& path, const NContent::TBytes& bytes)
{
    FILE* f = fopen(path.c_str(), "wb");
    if (!f)
        return false;
    const bool written = fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return (fclose(f) == 0) && written;
}

void MaterialColour(const aiMaterial* material, float colour[4])
{
    aiColor4D c(0.7f, 0.7f, 0.7f, 1.0f);
    if (material && aiGetMaterialColor(material, AI_MATKEY_BASE_COLOR, &c) != AI_SUCCESS)
        aiGetMaterialColor(material, AI_MATKEY_COLOR_DIFFUSE, &c);
    float opacity = 1.0f;
    if (material && aiGetMaterialFloat(material, AI_MATKEY_OPACITY, &opacity) != AI_SUCCESS)
        opacity = 1.0f;
    const float values[4] = {c.r, c.g, c.b, c.a * opacity};
    for (int i = 0; i < 4; ++i)
        colour[i] = std::isfinite(values[i]) ? std::clamp(values[i], 0.0f, 1.0f) : (i == 3 ? 1.0f : 0.7f);
}

// Some readers mend broken indices with a warning only; those files are refused, not guessed at.
class CIndexWarnings : public Assimp::LogStream
{
public:
    void write(const char* message) override
    {
        const std::string text = message;
        if (m_First.empty() && text.find("ndex") != std::string::npos &&
            (text.find("out of range") != std::string::npos || text.find("invalid") != std::string::npos))
            m_First = text.substr(0, text.find_last_not_of("\r\n") + 1);
    }
    std::string m_First;
};

// The library's reasons, in the words of someone who has only the file.
std::string Reason(const std::string& error)
{
    for (const char* empty : {"mNumMeshes is 0", "contains no faces", "has no faces", "No meshes remaining"})
        if (error.find(empty) != std::string::npos)
            return NO_TRIANGLES;
    if (error.empty())
        return "the import library cannot read it";
    return "the import library cannot read it: " + error;
}

// The scene as LightWave points and triangles, after the library's own clean-up steps.
std::string Gather(const aiScene& scene, const SOptions& options, NContent::SLightWaveObject& object,
                   SResult& result)
{
    uint64_t points = 0, triangles = 0;
    bool uvs = false;
    for (unsigned m = 0; m < scene.mNumMeshes; ++m)
    {
        const aiMesh* mesh = scene.mMeshes[m];
        if (!mesh || !(mesh->mPrimitiveTypes & aiPrimitiveType_TRIANGLE) || !mesh->mVertices)
            continue;
        points += mesh->mNumVertices;
        for (unsigned f = 0; f < mesh->mNumFaces; ++f)
            triangles += mesh->mFaces[f].mNumIndices == 3;
        uvs = uvs || mesh->HasTextureCoords(0);
    }
    if (triangles == 0)
        return NO_TRIANGLES;
    if (points > MAX_ITEMS || triangles > MAX_ITEMS)
        return "more than 16777215 points or triangles, too many for one LightWave object";

    double low[3] = {HUGE_VAL, HUGE_VAL, HUGE_VAL}, high[3] = {-HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
    std::vector<double> xyz;
    xyz.reserve(size_t(points) * 3);
    object.m_Triangles.reserve(size_t(triangles));
    if (uvs)
        object.m_PointUVs.reserve(size_t(points) * 2);
    std::map<unsigned, uint32_t> surfaces;
    std::set<std::string> names;
    for (unsigned m = 0; m < scene.mNumMeshes; ++m)
    {
        const aiMesh* mesh = scene.mMeshes[m];
        if (!mesh || !(mesh->mPrimitiveTypes & aiPrimitiveType_TRIANGLE) || !mesh->mVertices)
            continue;
        auto found = surfaces.find(mesh->mMaterialIndex);
        if (found == surfaces.end())
        {
            if (surfaces.size() >= 0xFFFF)
                return "more than 65535 materials";
            const aiMaterial* material =
                mesh->mMaterialIndex < scene.mNumMaterials ? scene.mMaterials[mesh->mMaterialIndex] : nullptr;
            aiString name;
            if (!material || material->Get(AI_MATKEY_NAME, name) != AI_SUCCESS)
                name.Set("surface");
            SSurface surface;
            surface.m_Name = UniqueWord(name.length ? name.C_Str() : "surface", names);
            MaterialColour(material, surface.m_Colour);
            found = surfaces.emplace(mesh->mMaterialIndex, uint32_t(result.m_Surfaces.size())).first;
            result.m_Surfaces.push_back(surface);
            object.m_Surfaces.push_back(surface.m_Name);
            object.m_SurfaceColours.insert(object.m_SurfaceColours.end(), surface.m_Colour,
                                           surface.m_Colour + 3);
        }
        const uint32_t first = uint32_t(xyz.size() / 3);
        for (unsigned v = 0; v < mesh->mNumVertices; ++v)
        {
            const aiVector3D& p = mesh->mVertices[v];
            const double source[3] = {p.x, p.y, p.z};
            // Z up turns a quarter about X: the model stays right-handed.
            const double q[3] = {source[0], options.m_UpZ ? source[2] : source[1],
                                 options.m_UpZ ? -source[1] : source[2]};
            for (int k = 0; k < 3; ++k)
            {
                if (!std::isfinite(q[k]) || std::fabs(q[k]) > MAX_COORDINATE)
                    return "coordinates that are infinite, not numbers or beyond 1e15";
                low[k] = std::min(low[k], q[k]);
                high[k] = std::max(high[k], q[k]);
                xyz.push_back(q[k]);
            }
            if (uvs)
            {
                const aiVector3D t =
                    mesh->HasTextureCoords(0) ? mesh->mTextureCoords[0][v] : aiVector3D(0, 0, 0);
                object.m_PointUVs.push_back(std::isfinite(t.x) ? t.x : 0.0f);
                object.m_PointUVs.push_back(std::isfinite(t.y) ? t.y : 0.0f);
            }
        }
        for (unsigned f = 0; f < mesh->mNumFaces; ++f)
        {
            const aiFace& face = mesh->mFaces[f];
            if (face.mNumIndices != 3)
                continue;
            NContent::SLightWaveObject::STriangle t;
            for (int c = 0; c < 3; ++c)
            {
                if (face.mIndices[c] >= mesh->mNumVertices)
                    return "a triangle names a vertex that does not exist";
                t.m_Points[c] = first + face.mIndices[c];
            }
            t.m_Surface = found->second;
            object.m_Triangles.push_back(t);
        }
    }

    double size = 0, reach = 0;
    for (int k = 0; k < 3; ++k)
    {
        size = std::max(size, high[k] - low[k]);
        reach = std::max({reach, std::fabs(low[k]), std::fabs(high[k])});
    }
    if (!(size > 0))
        return "every point lies at one place";
    if (size < reach * MIN_RELATIVE_SIZE)
        return "too far from the origin for its size (its shape is lost to rounding)";
    double centre[3] = {0, 0, 0};
    if (!options.m_KeepOrigin)
        for (int k = 0; k < 3; ++k)
            centre[k] = (low[k] + high[k]) / 2;
    // The object's file is left-handed: the loader turns z back.
    object.m_Points.resize(xyz.size());
    for (size_t i = 0; i < xyz.size(); ++i)
        object.m_Points[i] = float(i % 3 == 2 ? centre[2] - xyz[i] : xyz[i] - centre[i % 3]);
    result.m_Points = points;
    result.m_Triangles = object.m_Triangles.size();
    return "";
}

// The whole import in this process.
SResult Convert(const std::string& in, const std::string& out, const SOptions& options)
{
    SResult result;
    uint64_t size = 0;
    if (!FileSize(in, size))
    {
        result.m_Error = std::string("cannot open: ") + strerror(errno);
        return result;
    }
    NContent::SLightWaveObject object;
    {
        Assimp::Importer importer;
        importer.SetPropertyInteger(AI_CONFIG_PP_SBP_REMOVE, aiPrimitiveType_POINT | aiPrimitiveType_LINE);
        importer.SetPropertyBool(AI_CONFIG_PP_FD_REMOVE, true);
        importer.SetPropertyInteger(AI_CONFIG_PP_RVC_FLAGS,
                                    aiComponent_NORMALS | aiComponent_TANGENTS_AND_BITANGENTS |
                                        aiComponent_COLORS | aiComponent_BONEWEIGHTS |
                                        aiComponent_ANIMATIONS | aiComponent_TEXTURES | aiComponent_LIGHTS |
                                        aiComponent_CAMERAS);
        const unsigned flags = aiProcess_RemoveComponent | aiProcess_Triangulate |
                               aiProcess_PreTransformVertices | aiProcess_FindDegenerates |
                               aiProcess_FindInvalidData | aiProcess_SortByPType |
                               aiProcess_JoinIdenticalVertices | aiProcess_ValidateDataStructure;
        const aiScene* scene = nullptr;
        std::string error;
        CIndexWarnings* warnings = new CIndexWarnings; // the logger owns its streams
        Assimp::DefaultLogger::create("", Assimp::Logger::NORMAL, 0);
        Assimp::DefaultLogger::get()->attachStream(warnings, Assimp::Logger::Warn | Assimp::Logger::Err);
        try
        {
            scene = importer.ReadFile(in, flags);
            if (!warnings->m_First.empty())
                error = "broken data: " + warnings->m_First;
            else if (!scene)
                error = Reason(importer.GetErrorString());
            else if (scene->mFlags & AI_SCENE_FLAGS_INCOMPLETE)
                error = NO_TRIANGLES;
            else
                error = Gather(*scene, options, object, result);
        }
        catch (const std::bad_alloc&)
        {
            error = "needs more memory than an import may take";
        }
        catch (const std::exception& e)
        {
            error = Reason(e.what());
        }
        Assimp::DefaultLogger::kill();
        if (!error.empty())
        {
            result.m_Error = error;
            return result;
        }
    }

    uint64_t objectSize = 0;
    {
        const NContent::TBytes bytes = WriteLightWaveObject(object);
        object = NContent::SLightWaveObject();
        objectSize = bytes.size();
        if (!WriteBytes(out, bytes))
        {
            result.m_Error = "cannot write " + out + ": " + strerror(errno);
            return result;
        }
    }
    // The program builds the cache exactly as it would on the show's first start.
    NKeth::TDynamicArray<CMesh*> meshes;
    const std::string cache = out + ".bin";
    uint64_t built = 0;
    const bool read = BuildModelFromLightWave(meshes, out.c_str());
    for (int m = 0; m < meshes.GetCount(); ++m)
        built += uint64_t(meshes[m]->m_Indices.GetCount() / 3);
    const bool cached = read && WriteModelCache(meshes, cache.c_str());
    meshes.DeleteAll();
    uint64_t cacheSize = 0;
    if (!read || built != result.m_Triangles)
        result.m_Error = "the written object does not read back whole";
    else if (!cached || !FileSize(cache, cacheSize))
        result.m_Error = "cannot write " + cache;
    result.m_Bytes = objectSize + cacheSize;
    return result;
}

// One line per field; names are bare words, so they hold no space.
std::string Encode(const SResult& r)
{
    std::ostringstream text;
    if (!r.m_Error.empty())
        text << "error " << r.m_Error << "\n";
    text << "counts " << r.m_Triangles << " " << r.m_Points << " " << r.m_Bytes << "\n";
    for (const SSurface& s : r.m_Surfaces)
        text << "surface " << s.m_Name << " " << s.m_Colour[0] << " " << s.m_Colour[1] << " " << s.m_Colour[2]
             << " " << s.m_Colour[3] << "\n";
    return text.str();
}

SResult Decode(const std::string& text)
{
    SResult r;
    std::istringstream lines(text);
    std::string line;
    bool counted = false;
    while (std::getline(lines, line))
    {
        std::istringstream words(line);
        std::string kind;
        words >> kind;
        if (kind == "error")
            r.m_Error = line.substr(6);
        else if (kind == "counts")
            counted = bool(words >> r.m_Triangles >> r.m_Points >> r.m_Bytes);
        else if (kind == "surface")
        {
            SSurface s;
            words >> s.m_Name >> s.m_Colour[0] >> s.m_Colour[1] >> s.m_Colour[2] >> s.m_Colour[3];
            r.m_Surfaces.push_back(s);
        }
    }
    if (!counted && r.m_Error.empty())
        r.m_Error = "the import ended without a result";
    return r;
}

#ifndef VORNSCR_ASAN // the sanitizer's shadow memory needs the whole address space
uint64_t MemoryLimit()
{
    const long pages = sysconf(_SC_PHYS_PAGES), pageSize = sysconf(_SC_PAGE_SIZE);
    const uint64_t physical = pages > 0 && pageSize > 0 ? uint64_t(pages) * uint64_t(pageSize) : 0;
    return std::clamp<uint64_t>(physical / 2, uint64_t(1) << 30, uint64_t(8) << 30);
}
#endif

void LimitChild()
{
#ifndef VORNSCR_ASAN
    const rlimit memory = {rlim_t(MemoryLimit()), rlim_t(MemoryLimit())};
    setrlimit(RLIMIT_AS, &memory);
#endif
    const rlimit cpu = {rlim_t(TIME_LIMIT_SECONDS), rlim_t(TIME_LIMIT_SECONDS + 5)};
    setrlimit(RLIMIT_CPU, &cpu);
}

double Now()
{
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}
} // namespace

std::vector<std::string> Extensions()
{
    std::string list;
    Assimp::Importer().GetExtensionList(list);
    std::set<std::string> found;
    std::stringstream items(list);
    std::string item;
    while (std::getline(items, item, ';'))
        if (item.size() > 2 && item.compare(0, 2, "*.") == 0)
            found.insert(Lower(item.substr(1)));
    return std::vector<std::string>(found.begin(), found.end());
}

bool HasModelExtension(const std::string& path, bool searching)
{
    static const std::vector<std::string> extensions = Extensions();
    const std::string extension = Extension(path);
    // Names that directories hold for other reasons, and files of motion or cameras only.
    static const std::set<std::string> unlikely = {".xml", ".raw", ".bvh", ".md5anim", ".md5camera"};
    if (searching && unlikely.count(extension) &&
        !(extension == ".xml" && Lower(path).size() > 9 &&
          Lower(path).compare(path.size() - 9, 9, ".mesh.xml") == 0))
        return false;
    return std::binary_search(extensions.begin(), extensions.end(), extension);
}

SResult ImportModel(const std::string& in, const std::string& out, const SOptions& options)
{
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0)
        return Convert(in, out, options);
    fflush(stdout);
    fflush(stderr);
    const pid_t child = fork();
    if (child < 0)
    {
        close(pipeEnds[0]);
        close(pipeEnds[1]);
        return Convert(in, out, options);
    }
    if (child == 0)
    {
        close(pipeEnds[0]);
        LimitChild();
        SResult result;
        try
        {
            result = Convert(in, out, options);
        }
        catch (const std::bad_alloc&)
        {
            result.m_Error = "needs more memory than an import may take";
        }
        const std::string text = Encode(result);
        for (size_t done = 0; done < text.size();)
        {
            const ssize_t n = write(pipeEnds[1], text.data() + done, text.size() - done);
            if (n <= 0)
                break;
            done += size_t(n);
        }
        _exit(0); // the parent reports; no exit handlers of its copy run here
    }
    close(pipeEnds[1]);
    std::string text;
    bool timedOut = false;
    const double deadline = Now() + TIME_LIMIT_SECONDS;
    for (;;)
    {
        pollfd p = {pipeEnds[0], POLLIN, 0};
        const int left = int((deadline - Now()) * 1000);
        if (left <= 0)
        {
            timedOut = true;
            break;
        }
        const int ready = poll(&p, 1, left);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
        {
            timedOut = ready == 0;
            break;
        }
        char buffer[4096];
        const ssize_t n = read(pipeEnds[0], buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        text.append(buffer, size_t(n));
    }
    close(pipeEnds[0]);
    if (timedOut)
        kill(child, SIGKILL);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR)
    {
    }
    SResult result = Decode(text);
    if (timedOut || (WIFSIGNALED(status) && WTERMSIG(status) == SIGXCPU))
        result.m_Error =
            "the import library took longer than " + std::to_string(TIME_LIMIT_SECONDS) + " seconds on it";
    else if (WIFSIGNALED(status))
        result.m_Error = "the import library failed on it (" + std::string(strsignal(WTERMSIG(status))) + ")";
    if (!result.m_Error.empty())
    {
        remove(out.c_str());
        remove((out + ".bin").c_str());
    }
    return result;
}

std::string SafeWord(const std::string& text)
{
    std::string word;
    for (char c : text)
    {
        const bool keep = isalnum(static_cast<unsigned char>(c)) != 0;
        if (keep)
            word += c;
        else if (!word.empty() && word.back() != '_')
            word += '_';
    }
    while (!word.empty() && word.back() == '_')
        word.pop_back();
    if (word.empty() || !isalpha(static_cast<unsigned char>(word[0])))
        word = "m" + word;
    return word.substr(0, 64);
}

std::string UniqueWord(const std::string& text, std::set<std::string>& used)
{
    const std::string base = SafeWord(text);
    std::string word = base;
    for (int n = 2; used.count(word); ++n)
        word = base + "_" + std::to_string(n);
    used.insert(word);
    return word;
}
} // namespace NImport
