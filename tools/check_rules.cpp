// What each block's effect reads, in one table. Kept in step with the effects' Read code: a
// test reads every block through the effects and compares the keys they looked up.
#include "check.h"

namespace NCheck
{
namespace
{
const std::vector<const char*> CLOCK = {"*"};

std::vector<SBlock> MakeBlocks()
{
    const SKey materials = {"materials", VALUE_ANY, false};
    return {
        {"group", true, false, {}, CLOCK},
        {"chain", true, false, {}, CLOCK},
        {"timedchain", true, false, {{"part", VALUE_ANY, false}}, CLOCK},
        {"generatedcubemap",
         true,
         true,
         {{"texturesize", VALUE_NUMBER, false},
          {"nearplane", VALUE_NUMBER, false},
          {"farplane", VALUE_NUMBER, false},
          {"transform", VALUE_TRANSFORM, false}},
         {""}},
        {"camera",
         false,
         false,
         {{"transform", VALUE_CAMERA, false},
          {"nearplane", VALUE_NUMBER, false},
          {"farplane", VALUE_NUMBER, false},
          {"fov", VALUE_NUMBER, false}},
         {"transform", "pos", "nearplane", "farplane", "fov"}},
        {"clear", false, false, {{"color", VALUE_COLOUR, false}}, CLOCK},
        // Every line of a palette is a colour; the table only names the kind.
        {"palette", false, false, {}, CLOCK},
        {"grid", false, false, {}, CLOCK},
        {"light", false, false, {{"transform", VALUE_TRANSFORM, false}}, {"lightpos"}},
        {"nullobj", false, false, {{"transform", VALUE_TRANSFORM, false}}, {}},
        {"rotate",
         false,
         false,
         {{"timescale", VALUE_NUMBER, false},
          {"timeoffset", VALUE_NUMBER, false},
          {"scale", VALUE_NUMBER, false},
          {"position", VALUE_VECTOR3, false}},
         {"transform", "localtime", "amount"}},
        {"object",
         false,
         false,
         {{"transform", VALUE_ANY, false},
          {"light", VALUE_LIGHT, false},
          {"lightintensity", VALUE_ANY, false},
          {"lightrange", VALUE_NUMBER, false},
          {"maxsize", VALUE_NUMBER, false},
          {"sequencetime", VALUE_NUMBER, false},
          {"fadetime", VALUE_NUMBER, false},
          {"objects", VALUE_ANY, false}},
         {"", "localtime", "amount"}},
        {"screen",
         false,
         false,
         {{"anglehorizontal", VALUE_NUMBER, false},
          {"anglevertical", VALUE_NUMBER, false},
          {"radius", VALUE_NUMBER, false},
          {"divisionhorizontal", VALUE_NUMBER, false},
          {"divisionvertical", VALUE_NUMBER, false},
          {"transform", VALUE_ANY, false},
          {"texture", VALUE_TEXTURE, false},
          {"objects", VALUE_OBJECTS, false}},
         CLOCK},
        {"texture", false, true, {{"texturefile", VALUE_IMAGE, true}}, {""}},
        {"breltexture", false, true, {{"texturefile", VALUE_IMAGE, true}}, {"", "image"}},
        {"cubemap",
         false,
         true,
         {{"posx", VALUE_DATAIMAGE, true},
          {"negx", VALUE_DATAIMAGE, true},
          {"posy", VALUE_DATAIMAGE, true},
          {"negy", VALUE_DATAIMAGE, true},
          {"posz", VALUE_DATAIMAGE, true},
          {"negz", VALUE_DATAIMAGE, true}},
         {""}},
        {"shader", false, true, {{"shaderfile", VALUE_DATAFILE, true}}, {""}},
        {"model", false, true, {{"modelfile", VALUE_LIGHTWAVE, true}, materials}, {""}},
        {"vornmodel", false, true, {{"stuff", VALUE_ARCHIVEFILE, true}, materials}, {""}},
        {"vorntextures",
         false,
         false,
         {{"outputdir", VALUE_ANY, true}, {"stuff", VALUE_ARCHIVEDIR, true}},
         {}},
        {"stufffile", false, true, {{"filename", VALUE_ARCHIVE, true}}, {""}},
    };
}
} // namespace

const std::vector<SBlock>& Blocks()
{
    static const std::vector<SBlock> s_Blocks = MakeBlocks();
    return s_Blocks;
}

const std::vector<SKey>& BaseKeys()
{
    static const std::vector<SKey> s_Keys = {
        {"prio", VALUE_NUMBER, false},     {"starttime", VALUE_NUMBER, false},
        {"duration", VALUE_NUMBER, false}, {"endtime", VALUE_NUMBER, false},
        {"name", VALUE_ANY, false},        {"passive", VALUE_PRESENT, false}};
    return s_Keys;
}

const SBlock* FindBlock(const std::string& keyword)
{
    for (const SBlock& block : Blocks())
        if (keyword == block.m_Keyword)
            return &block;
    return nullptr;
}

// The keys of a material block, read while its model is read.
const std::vector<SKey>& MaterialKeys()
{
    static const std::vector<SKey> s_Keys = {{"color", VALUE_COLOUR, false},
                                             {"texture", VALUE_TEXTURE, false},
                                             {"shader", VALUE_SHADER, false},
                                             {"blend", VALUE_NUMBER, false},
                                             {"zwrite", VALUE_NUMBER, false}};
    return s_Keys;
}
} // namespace NCheck
