// SPDX-License-Identifier: GPL-3.0-or-later
// The tag catalogue: every run of consecutive ids with the names at both of its ends, the ids
// around the runs, the names two ids share, and the type names.
#include "metadata/tagcatalogue.h"

#include "fixtures.h"

#include <gtest/gtest.h>

using namespace vantorel;

namespace {

struct TagRun {
    quint32 first, last;
    const char* firstName; // Latin-1
    const char* lastName;
};

const TagRun kRuns[] = {
    {0x0000, 0x001F, "GpsVer", "GPSHPositioningError"},
    {0x00FE, 0x0103, "NewSubfileType", "Compression"},
    {0x0106, 0x010A, "PhotometricInterp", "FillOrder"},
    {0x010D, 0x0112, "DocumentName", "Orientation"},
    {0x0115, 0x0125, "SamplesPerPixel", "T6Option"},
    {0x0128, 0x0129, "ResolutionUnit", "PageNumber"},
    {0x012C, 0x012D, "ColorResponseUnit", "TransferFunction"},
    {0x0131, 0x0132, "SoftwareUsed", "DateTime"},
    {0x013B, 0x0148, "Artist", "ConsecutiveBadFaxLines"},
    {0x014A, 0x014A, "SubIFD\xA0", "SubIFD\xA0"},
    {0x014C, 0x014E, "InkSet", "NumberOfInks"},
    {0x0150, 0x015B, "DotRange", "JPEGTables"},
    {0x015F, 0x015F, "OPIProxy", "OPIProxy"},
    {0x0190, 0x0195, "GlobalParametersIFD", "ModeNumber"},
    {0x01B1, 0x01B3, "Decode", "T82Options"},
    {0x01B5, 0x01B5, "JPEGTables", "JPEGTables"},
    {0x0200, 0x0203, "JPEGProc", "JPEGRestartInterval"},
    {0x0205, 0x0209, "JPEGLosslessPredictors", "JPEGACTables"},
    {0x0211, 0x0214, "YCbCrCoefficients", "REFBlackWhite"},
    {0x022F, 0x022F, "StripRowCounts", "StripRowCounts"},
    {0x02BC, 0x02BC, "ApplicationNotes", "ApplicationNotes"},
    {0x0301, 0x0303, "Gamma", "SRGBRenderingIntent"},
    {0x0320, 0x0320, "ImageTitle", "ImageTitle"},
    {0x03E7, 0x03E7, "USPTOMiscellaneous", "USPTOMiscellaneous"},
    {0x1000, 0x1002, "RelatedImageFileFormat", "RelatedImageHeight"},
    {0x4746, 0x4749, "Rating", "RatingPercent"},
    {0x5001, 0x501B, "ResolutionXUnit", "ThumbnailData"},
    {0x5020, 0x503B, "ThumbnailImageWidth", "ThumbnailCopyRight"},
    {0x5090, 0x5091, "LuminanceTable", "ChrominanceTable"},
    {0x5100, 0x5104, "FrameDelay", "IndexTransparent"},
    {0x5110, 0x5113, "PixelUnit", "PaletteHistogram"},
    {0x800D, 0x800D, "ImageID", "ImageID"},
    {0x80A3, 0x80A6, "WangTag1", "WangTag4"},
    {0x80E3, 0x80E6, "Matteing", "TileDepth"},
    {0x827D, 0x827D, "Model2", "Model2"},
    {0x828D, 0x8290, "CFARepeatPatternDim", "KodakIFD"},
    {0x8298, 0x8298, "Copyright", "Copyright"},
    {0x829A, 0x829A, "ExifExposureTime", "ExifExposureTime"},
    {0x829D, 0x829D, "ExifFNumber", "ExifFNumber"},
    {0x82A5, 0x82AC, "MDFileTag", "MDFileUnits"},
    {0x830E, 0x830E, "PixelScale", "PixelScale"},
    {0x8335, 0x8336, "AdventScale", "AdventRevision"},
    {0x835C, 0x835F, "UIC1Tag", "UIC4Tag"},
    {0x83BB, 0x83BB, "IPTC-NAA", "IPTC-NAA"},
    {0x847E, 0x8482, "IntergraphPacketData", "ModelTiePoint"},
    {0x84E0, 0x84F0, "Site", "CMYKEquivalent"},
    {0x8546, 0x8546, "SEMInfo", "SEMInfo"},
    {0x8568, 0x8568, "AFCP_IPTC", "AFCP_IPTC"},
    {0x85B8, 0x85B8, "PixelMagicJBIGOptions", "PixelMagicJBIGOptions"},
    {0x85D8, 0x85D8, "ModelTransform", "ModelTransform"},
    {0x8602, 0x8602, "WB_GRGBLevels", "WB_GRGBLevels"},
    {0x8606, 0x8606, "LeafData", "LeafData"},
    {0x8649, 0x8649, "PhotoshopSettings", "PhotoshopSettings"},
    {0x8769, 0x8769, "ExifIFD", "ExifIFD"},
    {0x8773, 0x8773, "ICCProfile", "ICCProfile"},
    {0x877F, 0x8782, "TIFF_FXExtensions", "T88Options"},
    {0x87AC, 0x87AC, "ImageLayer", "ImageLayer"},
    {0x87AF, 0x87B1, "GeoTiffDirectory", "GeoTiffAsciiParams"},
    {0x8822, 0x8822, "ExifExposureProg", "ExifExposureProg"},
    {0x8824, 0x8825, "ExifSpectralSense", "GpsIFD"},
    {0x8827, 0x882B, "ExifISOSpeed", "SelfTimerMode"},
    {0x8830, 0x8835, "SensitivityType", "ISOSpeedLatitudezzz"},
    {0x885C, 0x885E, "FaxRecvParams", "FaxRecvTime"},
    {0x888A, 0x888A, "LeafSubIFD", "LeafSubIFD"},
    {0x9000, 0x9000, "ExifVer", "ExifVer"},
    {0x9003, 0x9004, "ExifDTOrig", "ExifDTDigitized"},
    {0x9101, 0x9102, "ExifCompConfig", "ExifCompBPP"},
    {0x9201, 0x9217, "ExifShutterSpeed", "SensingMethod"},
    {0x923A, 0x923C, "CIP3DataFile", "CIP3Side"},
    {0x923F, 0x923F, "StoNits", "StoNits"},
    {0x927C, 0x927C, "ExifMakerNote", "ExifMakerNote"},
    {0x9286, 0x9286, "ExifUserComment", "ExifUserComment"},
    {0x9290, 0x9292, "ExifDTSubsec", "ExifDTDigSS"},
    {0x932F, 0x9331, "MSDocumentText", "MSDocumentTextPosition"},
    {0x935C, 0x935C, "ImageSourceData", "ImageSourceData"},
    {0x9C9B, 0x9C9F, "XPTitle", "XPSubject"},
    {0xA000, 0xA005, "ExifFPXVer", "ExifInterop"},
    {0xA20B, 0xA217, "ExifFlashEnergy", "ExifSensingMethod"},
    {0xA300, 0xA302, "ExifFileSource", "ExifCfaPattern"},
    {0xA401, 0xA40C, "CustomRendered", "SubjectDistanceRange"},
    {0xA420, 0xA420, "ImageUniqueID", "ImageUniqueID"},
    {0xA430, 0xA435, "OwnerName", "LensSerialNumber"},
    {0xA480, 0xA481, "GDALMetadata", "GDALNoData"},
    {0xA500, 0xA500, "Gamma", "Gamma"},
    {0xAFC0, 0xAFC5, "ExpandSoftware", "ExpandFlashLamp"},
    {0xBC01, 0xBC04, "PixelFormat", "ImageType"},
    {0xBC80, 0xBC83, "ImageWidth", "HeightResolution"},
    {0xBCC0, 0xBCC5, "ImageOffset", "AlphaDataDiscard"},
    {0xC427, 0xC42A, "OceScanjobDesc", "OceImageLogic"},
    {0xC44F, 0xC44F, "Annotations", "Annotations"},
    {0xC4A5, 0xC4A5, "PrintIM", "PrintIM"},
    {0xC580, 0xC580, "USPTOOriginalContentType", "USPTOOriginalContentType"},
    {0xC612, 0xC635, "DNGVersion", "MakerNoteSafety"},
    {0xC640, 0xC640, "RawImageSegmentation", "RawImageSegmentation"},
    {0xC65A, 0xC65D, "CalibrationIlluminant1", "RawDataUniqueID"},
    {0xC660, 0xC660, "AliasLayerMetadata", "AliasLayerMetadata"},
    {0xC68B, 0xC692, "OriginalRawFileName", "CurrentPreProfileMatrix"},
    {0xC6BF, 0xC6BF, "ColorimetricReference", "ColorimetricReference"},
    {0xC6D2, 0xC6D3, "PanasonicTitle", "PanasonicTitle2"},
    {0xC6F3, 0xC6FE, "CameraCalibrationSig", "ProfileCopyright"},
    {0xC714, 0xC71F, "ForwardMatrix1", "RowInterleaveFactor"},
    {0xC725, 0xC726, "ProfileLookTableDims", "ProfileLookTableData"},
    {0xC740, 0xC741, "OpcodeList1", "OpcodeList2"},
    {0xC74E, 0xC74E, "OpcodeList3", "OpcodeList3"},
    {0xC761, 0xC761, "NoiseProfile", "NoiseProfile"},
    {0xEA1C, 0xEA1D, "Padding", "OffsetSchema"},
    {0xFDE8, 0xFDEA, "OwnerName", "Lens"},
    {0xFE00, 0xFE00, "KDC_IFD", "KDC_IFD"},
    {0xFE4C, 0xFE4E, "RawFile", "WhiteBalance"},
    {0xFE51, 0xFE58, "Exposure", "MoireFilter"},
};

TEST(TagCatalogue, EveryRunFromEndToEnd) {
    int total = 0;
    for (const TagRun& run : kRuns) {
        SCOPED_TRACE(QString::number(run.first, 16).toStdString());
        EXPECT_EQ(TagName(run.first), QString::fromLatin1(run.firstName));
        EXPECT_EQ(TagName(run.last), QString::fromLatin1(run.lastName));
        for (quint32 id = run.first; id <= run.last; ++id) {
            EXPECT_TRUE(isCatalogued(id));
            EXPECT_NE(TagName(id), "Tag inconnu");
        }
        total += int(run.last - run.first + 1);
    }
    EXPECT_EQ(total, 513);
    EXPECT_EQ(tagCatalogueSize(), 513);
}

TEST(TagCatalogue, IdsBetweenRunsAreUnknown) {
    for (const TagRun& run : kRuns) {
        for (const qint64 id : {qint64(run.first) - 1, qint64(run.last) + 1}) {
            if (id < 0) continue;
            bool inAnotherRun = false;
            for (const TagRun& other : kRuns)
                inAnotherRun |= id >= other.first && id <= other.last;
            if (inAnotherRun) continue;
            SCOPED_TRACE(QString::number(id, 16).toStdString());
            EXPECT_FALSE(isCatalogued(quint32(id)));
            EXPECT_EQ(TagName(quint32(id)), "Tag inconnu");
        }
    }
    for (const quint32 id : {0x1234u, 0xFFFFu, 0x10000u, 0x1001Fu, 0x80000000u, 0xFFFFFFFFu}) {
        EXPECT_FALSE(isCatalogued(id)) << std::hex << id;
        EXPECT_EQ(TagName(id), "Tag inconnu");
    }
}

TEST(TagCatalogue, SharedAndSpecialNames) {
    const std::tuple<quint32, quint32, const char*> shared[] = {
        {0x0100, 0xBC80, "ImageWidth"},
        {0x0101, 0xBC81, "ImageHeight"},
        {0x015B, 0x01B5, "JPEGTables"},
        {0x0301, 0xA500, "Gamma"},
        {0x920D, 0xA20D, "Noise"},
        {0x9211, 0xA211, "ImageNumber"},
        {0x9212, 0xA212, "SecurityClassification"},
        {0x9213, 0xA213, "ImageHistory"},
        {0x9216, 0xA216, "TIFF-EPStandardID"},
        {0xA403, 0xFE4E, "WhiteBalance"},
        {0xA408, 0xFE54, "Contrast"},
        {0xA409, 0xFE55, "Saturation"},
        {0xA40A, 0xFE56, "Sharpness"},
        {0xA430, 0xFDE8, "OwnerName"},
        {0xA431, 0xFDE9, "SerialNumber"},
    };
    for (const auto& [a, b, name] : shared) {
        EXPECT_EQ(TagName(a), name);
        EXPECT_EQ(TagName(b), name);
    }
    // The names the listing looks for, each at exactly one id.
    const std::pair<quint32, const char*> special[] = {
        {0x0001, "GpsLatitudeRef"},  {0x0002, "GpsLatitude"},  {0x0003, "GpsLongitudeRef"},
        {0x0004, "GpsLongitude"},    {0x0010, "GpsImgDirRef"}, {0x0011, "GpsImgDir"},
        {0x0110, "EquipModel"},      {0x0112, "Orientation"},  {0x829A, "ExifExposureTime"},
        {0x920A, "ExifFocalLength"},
    };
    for (const auto& [id, name] : special) {
        EXPECT_EQ(TagName(id), name);
        int uses = 0;
        for (quint32 other = 0; other <= 0xFFFF; ++other)
            uses += TagName(other) == QLatin1String(name);
        EXPECT_EQ(uses, 1) << name;
    }
    // Two names end in a no-break space, which is part of the name.
    EXPECT_EQ(TagName(0x014A), QStringLiteral("SubIFD") + QChar(0x00A0));
    EXPECT_EQ(TagName(0xC634), QStringLiteral("SR2Private") + QChar(0x00A0));
    EXPECT_EQ(TagName(0xC633), "ShadowScale");
    EXPECT_EQ(TagName(0xC635), "MakerNoteSafety");
}

TEST(TagCatalogue, TypeNames) {
    const char* expected[] = {
        "",          "U. Byte",  "ASCII",   "U. Short",    "U. Long",      "U. Rational",  "S. Byte",
        "Undefined", "S. Short", "S. Long", "S. Rational", "Single Float", "Double Float", "",
        ""};
    for (quint16 type = 0; type < std::size(expected); ++type)
        EXPECT_EQ(TypeName(type), expected[type]) << type;
    EXPECT_EQ(TypeName(0xFFFF), "");
}

} // namespace
