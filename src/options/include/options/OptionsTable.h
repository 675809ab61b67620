#pragma once

// Every setting of the options record, defined once: its key in the settings file, the
// form of its value there, the record field it fills, its default and what the options
// dialog offers for it. The settings file's load and save and the dialog iterate the table.

#include "options/uOptions.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace brimble {

// How a value is written in the settings file.
enum class TOptionForm : uint8_t {
    Integer,    // decimal, 32-bit
    Integer64,  // decimal, 64-bit (the size limits, in bytes)
    Boolean,    // "1" or "0"; read as an integer, true when not 0
    Ordinal,    // an enumeration or the priority level; the record keeps the lowest byte
    DelayIndex, // an index into the compression-delay table; the record holds seconds
    RetryIndex, // an index into the retry table; the record holds milliseconds
    String,     // the text unchanged
    FolderList, // the excluded folders, joined by tabs
};

// The record field of a setting.
using TOptionField =
    std::variant<bool TBrimbleOptions::*, int32_t TBrimbleOptions::*, int64_t TBrimbleOptions::*,
                 uint8_t TBrimbleOptions::*, TSmartCompressMode TBrimbleOptions::*,
                 TSmartDecompress TBrimbleOptions::*, std::string TBrimbleOptions::*,
                 std::vector<std::string> TBrimbleOptions::*>;

// One entry the dialog offers, with the value the record takes for it.
struct TOptionChoice {
    std::string_view Text;
    int64_t Value;
};

// A number field of the dialog: its bounds in the field's unit; the record holds the
// field's value times Scale.
struct TOptionRange {
    int64_t Min = 0;
    int64_t Max = 0;
    int64_t Scale = 1;
    bool Present() const { return Min != 0 || Max != 0; }
};

struct TOptionSetting {
    std::string_view Key;
    TOptionForm Form;
    TOptionField Field;
    // The default as the settings file would hold it (an index for the delay tables); for
    // String the text, for FolderList the entries.
    int64_t DefaultNumber = 0;
    std::string_view DefaultText;
    std::span<const std::string_view> DefaultEntries;
    // What the dialog offers: a number field, a list of choices, or neither (a check box,
    // a text field, the folder editor).
    TOptionRange Range;
    std::span<const TOptionChoice> Choices;
};

inline constexpr std::size_t kOptionCount = 27;

// The settings in the order a save writes them.
std::span<const TOptionSetting, kOptionCount> OptionSettings();
// The setting of Key (case ignored); null when there is none.
const TOptionSetting* FindOptionSetting(std::string_view key);

// The default filters. The including one holds an empty entry (files without extension)
// and "js" twice; the two share no entry.
inline constexpr std::string_view kDefaultFilterIncluding =
    "asm,c,cpp,h,inc,pas,dpr,class,pl,au3,bas,php,js,css,cgi,js,vbs,pm,asp,sql,txt,doc,docx,"
    "htm,html,hlp,eng,rus,nfo,rtf,shtml,,lst,wri,odt,srt,dbf,xls,mdb,db,cds,xlsx,b64,uue,xxe,"
    "ini,inf,cfg,key,map,drc,reg,m3u,rc,lng,log,out,cnt,xml,conf,dof,dsk,bpg,ddp,bdsproj,dpk,"
    "bpr,bpk,dll,ocx,vxd,sys,drv,tlb,ovl,ovr,prg,mui,wfx,wcx,wlx,wdx,fon,fnt,ttf,exe,com,bat,"
    "cmd,scr,res,dcu,obj,lib,dfm,wpc,dcr,mid,rol,v2m,okt,voc,s3m,cmf,hsc,mod,stm,xm,xmi,it,rmi,"
    "tif,bmp,pcx,pic,ico,cur,ani,lbm,icl,dds,jscript,raw,ase,csv,nif";
inline constexpr std::string_view kDefaultFilterExcluding =
    "avi,mpeg,mpe,mpg,bik,smk,mpa,mov,wmv,asf,dat,divx,vob,ifo,asx,vp6,3gp,flv,mkv,mp4,zip,rar,"
    "arj,z,ain,bz2,ha,ice,ace,arc,hyp,jam,lzh,tar,gz,tgz,uc2,pak,cab,msi,tbz,7z,uha,lha,j,zoo,"
    "sqx,jar,rk,lim,bsa,bsn,chz,dwc,eri,hap,rkv,sbc,sqz,ats,hpk,sea,msp,wav,mp3,ogg,mo3,wma,ac3,"
    "m4a,jpeg,jpg,gif,png,jp2,cbr,ods,part,sis,sisx,wgz,xz,ppmp,ppm,bh,tmp,msu,mht,lnk,zi#,old,"
    "$$$,lnk,pf";
// Folders named by environment references, expanded when a scan starts.
inline constexpr std::array<std::string_view, 5> kDefaultExcludeFolders = {
    "%windir%=", "%temp%=", "%tmp%=", "%localappdata%=", "%appdata%="};

// The delay of a changed file before compression in the interactive mode (index, seconds).
std::span<const TOptionChoice> CompressionDelayTable();
// Seconds of a stored index; an index outside the table gives 20.
int32_t CompressionDelayFromIndex(int64_t index);
// Index of a number of seconds; seconds not in the table give 3.
int32_t CompressionDelayToIndex(int64_t seconds);

// The interval of the retries of locked files (index, milliseconds).
std::span<const TOptionChoice> CompressAgainDelayTable();
// Milliseconds of a stored index; an index outside the table gives 300000.
int32_t CompressAgainDelayFromIndex(int64_t index);
// Index of a number of milliseconds; milliseconds not in the table give 5.
int32_t CompressAgainDelayToIndex(int64_t milliseconds);

// Sets a number-valued setting (every form but String and FolderList) from the value the
// settings file holds, converted as its form says.
void SetStoredNumber(TBrimbleOptions& options, const TOptionSetting& setting, int64_t stored);
// The value of a number-valued setting as the settings file holds it.
int64_t GetStoredNumber(const TBrimbleOptions& options, const TOptionSetting& setting);
// The field of a String setting.
std::string& TextField(TBrimbleOptions& options, const TOptionSetting& setting);
const std::string& TextField(const TBrimbleOptions& options, const TOptionSetting& setting);
// The field of a FolderList setting.
std::vector<std::string>& ListField(TBrimbleOptions& options, const TOptionSetting& setting);
const std::vector<std::string>& ListField(const TBrimbleOptions& options,
                                          const TOptionSetting& setting);

// Gives one setting its default, as a load from a file without the key does.
void ApplyDefault(TBrimbleOptions& options, const TOptionSetting& setting);
// Gives every setting its default: what a load from an empty settings file gives.
void ApplyDefaults(TBrimbleOptions& options);

} // namespace brimble
