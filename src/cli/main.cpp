// SPDX-License-Identifier: GPL-3.0-or-later
// vantorel-cli: the program's readers without a window, one command per reader.
#include "arguments.h"
#include "commands.h"
#include "text/manualpage.h"
#include "text/programinfo.h"

#include <QCoreApplication>
#include <QLocale>
#include <QStringList>
#include <QTextStream>
#include <cstdio>
#include <malloc.h>

using vantorel::cli::Arguments;

namespace {

const char* const kHelp =
    "Usage : vantorel-cli COMMANDE [OPTIONS] PHOTO...\n"
    "\n"
    "Lit le géocodage GPS de photos sans ouvrir de fenêtre, ou en écrit une copie. Les photos ne sont\n"
    "jamais modifiées. Lues : JPEG, HEIC, AVIF, RAW et DNG, TIFF, PNG, WebP ; copies : JPEG.\n"
    "\n"
    "Commandes :\n"
    "  coords PHOTO...   Coordonnées GPS de chaque photo, dans l'ordre donné, une ligne par photo :\n"
    "                    chemin complet, 1 si la photo est géocodée sinon 0, latitude et longitude\n"
    "                    signées en degrés décimaux, textes de latitude et de longitude en degrés et\n"
    "                    minutes décimales. Champs séparés par une tabulation.\n"
    "                    Les messages sur les références Nord-Sud et Est-Ouest absentes vont sur la\n"
    "                    sortie d'erreur.\n"
    "                    Une photo illisible (absente, dossier, tube, lien cassé, lecture non\n"
    "                    autorisée, nom trop long, format non pris en charge) ne donne aucune\n"
    "                    ligne : un message la nomme sur la sortie d'erreur, les autres photos\n"
    "                    sont lues, code de sortie 1.\n"
    "  exif PHOTO        Toutes les informations Exif de la photo : nom, type et valeur, une ligne\n"
    "                    par information.\n"
    "                    Une photo sans information donne une ligne vide. Code de sortie 1 si la\n"
    "                    photo ne peut pas être ouverte (« Erreur ret1 » sur la sortie d'erreur ;\n"
    "                    « format non pris en charge » pour une sorte de photo qu'aucun lecteur ne\n"
    "                    lit). Une photo qui n'est pas un JPEG finit par sa taille en pixels.\n"
    "  poi PHOTO...      Table des points d'intérêt des photos géocodées, une ligne par photo, dix\n"
    "                    colonnes : nom, latitude, longitude, latitude et longitude signées, chemin,\n"
    "                    référence et valeur d'altitude, largeur, hauteur.\n"
    "                    Une photo illisible est nommée sur la sortie d'erreur, code de sortie 1.\n"
    "  write PHOTO LATITUDE LONGITUDE [--force] [--with-place]\n"
    "            [--sidecar] [--short-sidecar-name]\n"
    "                    Écrit à côté de la photo la copie « # » + nom, géocodée à cette position\n"
    "                    (degrés décimaux signés, avec un point ou le séparateur de la langue ; sud\n"
    "                    et ouest négatifs). Seules les informations GPS de position changent ; la\n"
    "                    photo source n'est pas modifiée. Affiche le chemin de la copie.\n"
    "  write --at POSITION PHOTO... [--force] [--with-place]\n"
    "            [--sidecar] [--short-sidecar-name]\n"
    "                    Écrit la copie « # » + nom de chaque photo à la même position, donnée comme\n"
    "                    on l'écrit : « 48.8584, 2.2945 », « 48,8584; 2,2945 », « 48°51'30.2\"N\n"
    "                    2°17'40.2\"E », « N 48°  51,503' E 2°  17,672' », geo:48.8584,2.2945, lien\n"
    "                    OpenStreetMap, Google Maps ou Apple Maps (voir parse).\n"
    "                    --sidecar : écrit la position dans un fichier XMP annexe NOM.EXT.xmp à côté\n"
    "                    de la photo, sans copie ; un fichier XMP existant est modifié, ses autres\n"
    "                    propriétés gardées (s'il n'est pas lisible, seul --force le remplace).\n"
    "                    Les RAW qui ne peuvent pas être réécrits sans risque (CR3, RAF...) ont\n"
    "                    toujours un fichier XMP annexe. --short-sidecar-name : NOM.xmp.\n"
    "                    Avec --with-place : la copie nomme aussi le lieu de la position (ville,\n"
    "                    région, pays et code du pays, comme place) en XMP et dans le bloc IPTC\n"
    "                    de la photo s'il y en a un ; rien en mer.\n"
    "  erase PHOTO... [--force] [--all-location]\n"
    "                    Écrit la copie « ~ » + nom, sans les informations GPS de position.\n"
    "                    Avec --all-location : sans rien de ce qui situe la photo (tout le GPS,\n"
    "                    les lieux XMP et IPTC) ; ce qui a été retiré s'affiche sur la sortie d'erreur.\n"
    "                    Refusé pour les RAW à fichier XMP annexe : il ne peut pas retirer une position.\n"
    "                    Sans --force, une copie existante n'est jamais remplacée. Codes de sortie :\n"
    "                    0 copie écrite, 1 copie non écrite (photo illisible ou écriture en échec,\n"
    "                    l'ancienne copie reste intacte), 3 la copie existe déjà, 4 coordonnées\n"
    "                    illisibles ou hors limites.\n"
    "                    Avec --at ou plusieurs photos, une ligne par photo : chemin, résultat\n"
    "                    (écrite, remplacée, modifiée, gardée, échec) et chemin de la copie ; le code\n"
    "                    le plus grave l'emporte (1, puis 3, puis 0).\n"
    "  parse TEXTE       Position lue dans le texte (comme write --at) : latitude et longitude\n"
    "                    signées en degrés décimaux, séparées par une tabulation. Un texte ambigu ou\n"
    "                    hors limites est refusé avec la raison sur la sortie d'erreur, code 4.\n"
    "  place LATITUDE LONGITUDE | PHOTO...\n"
    "                    Lieu de la position, ou de celle de chaque photo, sans réseau : ville la\n"
    "                    plus proche parmi celles de 15 000 habitants ou plus, région, pays, code\n"
    "                    ISO du pays, fuseau horaire IANA et distance en km à la ville. Une ligne\n"
    "                    par position ; pour les photos, le chemin complet d'abord. À plus de\n"
    "                    50 km de toute ville : « en mer », sans fuseau (les villes ne disent pas\n"
    "                    où est la côte). Noms en français, ou dans la langue de LANGUAGE,\n"
    "                    LC_ALL, LC_MESSAGES ou LANG ; en anglais avec LC_MESSAGES=C.\n"
    "                    Une photo illisible ou non géocodée est nommée sur la sortie d'erreur,\n"
    "                    code de sortie 1 ; une position hors limites, code 4.\n"
    "  gpx [-o FICHIER] PHOTO...\n"
    "                    Fichier GPX 1.0 des photos géocodées, un point par photo : position,\n"
    "                    altitude, heure UTC du GPS quand la photo l'a, nom et chemin. Sur la sortie\n"
    "                    standard sans -o ; avec -o, FICHIER est remplacé seulement une fois le\n"
    "                    nouveau fichier complet. Une photo illisible (absente, dossier...) est\n"
    "                    nommée sur la sortie d'erreur et les autres photos sont écrites.\n"
    "                    Codes de sortie : 0 tout est écrit ; 1 des photos étaient illisibles (le\n"
    "                    fichier est écrit sans elles) ou aucune n'est géocodée (rien n'est écrit) ;\n"
    "                    3 le fichier GPX n'a pas pu être écrit\n"
    "                    (« Impossible de creer le fichier GPX »).\n"
    "  map [--google] PHOTO\n"
    "                    Page de carte que la fenêtre écrit pour la photo (Leaflet et OpenStreetMap ;\n"
    "                    --google : modèle Google Maps). La légende du secteur va sur la sortie\n"
    "                    d'erreur. Code de sortie 1 si la photo n'est pas géocodée. Lit les\n"
    "                    réglages des cartes de vantorel.ini (voir Fichiers).\n"
    "  overview [--google] PHOTO...\n"
    "                    Page de la carte de toutes les photos géocodées (« Voir carte »). Code de\n"
    "                    sortie 1 si aucune photo n'est géocodée. Lit vantorel.ini comme map.\n"
    "  correlate --track FICHIER [--track FICHIER...] [--tz FUSEAU] [--clock-error DURÉE]\n"
    "            [--max-gap SECONDES] [--max-distance SECONDES] [--replace] [--force] [--dry-run]\n"
    "            [--sidecar] [--short-sidecar-name] [--with-place]\n"
    "            PHOTO...\n"
    "                    Place chaque photo sur les traces GPS (GPX 1.0 ou 1.1, NMEA ; KML, TCX, FIT,\n"
    "                    IGC... avec gpsbabel) d'après son heure de prise de vue, et écrit sa copie\n"
    "                    « # » + nom : latitude, longitude, altitude, date et heure UTC du GPS.\n"
    "                    Une trace vide ou sans point horodaté est nommée sur la sortie d'erreur.\n"
    "                    --tz : ±HH:MM, UTC, nom IANA (Europe/Paris) ou track, pour les photos sans\n"
    "                    décalage horaire propre (OffsetTimeOriginal), qui gardent le leur.\n"
    "                    track, le défaut sans --tz : le fuseau de la ville la plus proche de la\n"
    "                    trace à l'heure de la photo (heure lue dans le fuseau de la photo\n"
    "                    précédente, ou du système, puis relue dans celui trouvé) ; en mer, celui\n"
    "                    de la photo précédente. Une photo à moins d'une heure d'une autre placée\n"
    "                    dans un autre fuseau est signalée sur la sortie d'erreur. Un nom inconnu\n"
    "                    (Paris, XYZ) est refusé, code 2.\n"
    "                    --clock-error : avance de l'horloge de l'appareil sur l'heure vraie, SS,\n"
    "                    MM:SS, HH:MM:SS ou J HH:MM:SS, signée, avec fractions (+1:02:03 : l'appareil\n"
    "                    avançait de 1 h 2 min 3 s).\n"
    "                    --max-gap : écart maximal entre deux points interpolés (1800 s) ; au-delà,\n"
    "                    ou entre deux segments, le point le plus proche dans --max-distance (1800 s ;\n"
    "                    0 : jamais). --replace : place aussi les photos déjà géocodées.\n"
    "                    Sans --force, une copie « # » existante n'est jamais remplacée (état kept).\n"
    "                    --sidecar, --short-sidecar-name : fichiers XMP annexes au lieu des copies,\n"
    "                    comme pour write.\n"
    "                    --dry-run : n'écrit rien. --with-place : chaque copie nomme aussi le lieu\n"
    "                    de sa position (voir write).\n"
    "                    Une ligne par photo : chemin, état (written, would-write, ambiguous-time,\n"
    "                    kept, no-time, outside-track, already-geotagged, failed), latitude et\n"
    "                    longitude en degrés décimaux avec un point (9 décimales), altitude en mètres,\n"
    "                    heure UTC corrigée (AAAA-MM-JJTHH:MM:SS[.fff]Z), chemin de la copie ; champs\n"
    "                    vides quand ils n'existent pas. ambiguous-time : l'heure tombe dans l'heure\n"
    "                    répétée d'un changement d'heure ; la photo est placée au premier des deux\n"
    "                    instants et sa copie écrite (--tz ±HH:MM choisit l'autre).\n"
    "                    Codes de sortie : 0 toutes les photos placées, 1 des photos non placées ou\n"
    "                    illisibles, 2 arguments incorrects ou trace illisible (rien n'est écrit),\n"
    "                    3 une copie n'a pas pu être écrite ou existait déjà.\n"
    "  --help            Affiche cette aide.\n"
    "  COMMANDE --help   Affiche l'aide de la commande.\n"
    "  --version         Affiche la version du programme.\n"
    "\n"
    "Dans chaque champ, tabulation, saut de ligne et barre oblique inverse sont écrits \\t, \\n et \\\\,\n"
    "les autres caractères de contrôle \\xNN, les séparateurs de ligne et les contrôles de direction du\n"
    "texte \\uNNNN : chaque ligne reste une ligne, lue dans l'ordre. Un octet d'un nom de\n"
    "fichier qui n'est pas de l'UTF-8 est écrit \\xNN, et un tel nom peut être donné tel quel.\n"
    "Les noms de photos sur la sortie d'erreur sont écrits de la même façon.\n"
    "Les nombres utilisent le séparateur décimal de la langue de l'utilisateur.\n"
    "Après « -- », chaque mot est une photo (ou une position), même s'il commence par « - ».\n"
    "Codes de sortie : 0 toutes les photos lues, 1 une photo au moins illisible, 2 commande ou\n"
    "arguments incorrects, 3 sortie standard impossible à écrire (disque plein...).\n"
    "\n"
    "Fichiers :\n"
    "  ~/.config/vantorel/vantorel.ini\n"
    "                    Réglages des cartes de la fenêtre, lus par map et overview, groupe [maps] :\n"
    "                    googleMapsKey (clé Google Maps, ou VANTOREL_GOOGLE_MAPS_KEY), tileUrl et\n"
    "                    tileAttribution (serveur de tuiles). Voir vantorel(1).\n"
    "\n"
    "Exemples :\n"
    "  vantorel-cli coords ~/Photos/*.jpg\n"
    "                    Les coordonnées de toutes les photos d'un dossier.\n"
    "  vantorel-cli write IMG_0042.jpg 48.8584 2.2945\n"
    "                    Écrit « #IMG_0042.jpg », géocodée à la tour Eiffel.\n"
    "  vantorel-cli gpx -o photos.gpx ~/Photos/*.jpg\n"
    "                    Le fichier GPX des photos géocodées d'un dossier.\n";

// The same help in English, for the English manual page: the same items in the same order.
const char* const kHelpEnglish =
    "Usage: vantorel-cli COMMAND [OPTIONS] PHOTO...\n"
    "\n"
    "Reads the GPS geotag of photos without opening a window, or writes a copy of them. The photos are\n"
    "never modified. Read: JPEG, HEIC, AVIF, RAW and DNG, TIFF, PNG, WebP; copies: JPEG.\n"
    "\n"
    "Commands:\n"
    "  coords PHOTO...   GPS coordinates of each photo, in the given order, one line per photo: full\n"
    "                    path, 1 if the photo is geotagged else 0, signed latitude and longitude in\n"
    "                    decimal degrees, latitude and longitude texts in degrees and decimal\n"
    "                    minutes. Fields separated by a tab.\n"
    "                    Messages about missing North-South and East-West references go to standard\n"
    "                    error.\n"
    "                    An unreadable photo (missing, folder, pipe, broken link, read not\n"
    "                    permitted, name too long, format not supported) gives no line: a message\n"
    "                    names it on standard error, the other photos are read, exit code 1.\n"
    "  exif PHOTO        Every Exif item of the photo: name, type and value, one line per item.\n"
    "                    A photo without items gives an empty line. Exit code 1 if the photo cannot\n"
    "                    be opened (« Erreur ret1 » on standard error; « format non pris en\n"
    "                    charge » for a kind of photo no reader reads). A photo that is no JPEG\n"
    "                    ends with its size in pixels.\n"
    "  poi PHOTO...      Table of the points of interest of the geotagged photos, one line per\n"
    "                    photo, ten columns: name, latitude, longitude, signed latitude and\n"
    "                    longitude, path, altitude reference and value, width, height.\n"
    "                    An unreadable photo is named on standard error, exit code 1.\n"
    "  write PHOTO LATITUDE LONGITUDE [--force] [--with-place]\n"
    "            [--sidecar] [--short-sidecar-name]\n"
    "                    Writes beside the photo the copy « # » + name, geotagged at this position\n"
    "                    (signed decimal degrees, with a point or the language's separator; south\n"
    "                    and west negative). Only the GPS position items change; the source photo\n"
    "                    is not modified. Prints the copy's path.\n"
    "  write --at POSITION PHOTO... [--force] [--with-place]\n"
    "            [--sidecar] [--short-sidecar-name]\n"
    "                    Writes the copy « # » + name of each photo at the same position, given as\n"
    "                    people write it: « 48.8584, 2.2945 », « 48,8584; 2,2945 », « 48°51'30.2\"N\n"
    "                    2°17'40.2\"E », « N 48°  51,503' E 2°  17,672' », geo:48.8584,2.2945, an\n"
    "                    OpenStreetMap, Google Maps or Apple Maps link (see parse).\n"
    "                    --sidecar: writes the position into an XMP sidecar NAME.EXT.xmp beside the\n"
    "                    photo, without a copy; an existing XMP file is edited, its other properties\n"
    "                    kept (if it cannot be read, only --force replaces it). The RAW files that\n"
    "                    cannot be rewritten safely (CR3, RAF...) always get an XMP sidecar.\n"
    "                    --short-sidecar-name: NAME.xmp.\n"
    "                    With --with-place: the copy also names the position's place (town,\n"
    "                    region, country and country code, as place does) in XMP and in the\n"
    "                    photo's IPTC block if it has one; nothing at sea.\n"
    "  erase PHOTO... [--force] [--all-location]\n"
    "                    Writes the copy « ~ » + name, without the GPS position items.\n"
    "                    With --all-location: without anything that places the photo (all of the\n"
    "                    GPS, the XMP and IPTC places); what was removed is printed on standard error.\n"
    "                    Refused for the RAW files given XMP sidecars: a sidecar cannot take a\n"
    "                    position out.\n"
    "                    Without --force, an existing copy is never replaced. Exit codes:\n"
    "                    0 copy written, 1 copy not written (unreadable photo or failed write, the\n"
    "                    old copy stays intact), 3 the copy already exists, 4 coordinates\n"
    "                    unreadable or out of range.\n"
    "                    With --at or several photos, one line per photo: path, result\n"
    "                    (écrite, remplacée, modifiée, gardée, échec) and the copy's path; the most\n"
    "                    serious code wins (1, then 3, then 0).\n"
    "  parse TEXT        Position read from the text (as write --at): signed latitude and\n"
    "                    longitude in decimal degrees, separated by a tab. An ambiguous or out of\n"
    "                    range text is refused with the reason on standard error, code 4.\n"
    "  place LATITUDE LONGITUDE | PHOTO...\n"
    "                    Place of the position, or of each photo's position, without a network: the\n"
    "                    nearest town among those of 15,000 people or more, region, country, ISO\n"
    "                    country code, IANA time zone and distance in km to the town. One line per\n"
    "                    position; for photos, the full path first. Farther than 50 km from every\n"
    "                    town: « en mer », without a zone (the towns do not tell where the coast\n"
    "                    is). Names in French, or in the language of LANGUAGE, LC_ALL,\n"
    "                    LC_MESSAGES or LANG; in English with LC_MESSAGES=C.\n"
    "                    An unreadable or non-geotagged photo is named on standard error, exit\n"
    "                    code 1; a position out of range, code 4.\n"
    "  gpx [-o FILE] PHOTO...\n"
    "                    GPX 1.0 file of the geotagged photos, one point per photo: position,\n"
    "                    altitude, the GPS's UTC time when the photo has it, name and path. On\n"
    "                    standard output without -o; with -o, FILE is replaced only once the new\n"
    "                    file is complete. An unreadable photo (missing, folder...) is named on\n"
    "                    standard error and the other photos are written.\n"
    "                    Exit codes: 0 everything is written; 1 some photos were unreadable (the\n"
    "                    file is written without them) or none is geotagged (nothing is written);\n"
    "                    3 the GPX file could not be written\n"
    "                    (« Impossible de creer le fichier GPX »).\n"
    "  map [--google] PHOTO\n"
    "                    Map page the window writes for the photo (Leaflet and OpenStreetMap;\n"
    "                    --google: Google Maps template). The sector's legend goes to standard\n"
    "                    error. Exit code 1 if the photo is not geotagged. Reads the map settings\n"
    "                    of vantorel.ini (see Files).\n"
    "  overview [--google] PHOTO...\n"
    "                    Map page of all the geotagged photos (« Voir carte »). Exit code 1 if no\n"
    "                    photo is geotagged. Reads vantorel.ini as map does.\n"
    "  correlate --track FILE [--track FILE...] [--tz ZONE] [--clock-error DURATION]\n"
    "            [--max-gap SECONDS] [--max-distance SECONDS] [--replace] [--force] [--dry-run]\n"
    "            [--sidecar] [--short-sidecar-name] [--with-place]\n"
    "            PHOTO...\n"
    "                    Places each photo on the GPS tracks (GPX 1.0 or 1.1, NMEA; KML, TCX, FIT,\n"
    "                    IGC... with gpsbabel) from the time it was taken, and writes its copy\n"
    "                    « # » + name: latitude, longitude, altitude, GPS UTC date and time.\n"
    "                    An empty track, or one without timed points, is named on standard error.\n"
    "                    --tz: ±HH:MM, UTC, IANA name (Europe/Paris) or track, for the photos\n"
    "                    without a time offset of their own (OffsetTimeOriginal), which keep theirs.\n"
    "                    track, the default without --tz: the zone of the town nearest the track at\n"
    "                    the photo's time (the time read in the previous photo's zone, or the\n"
    "                    system's, then read again in the zone found); at sea, the previous photo's.\n"
    "                    A photo less than an hour from another one placed in another zone is\n"
    "                    named on standard error. An unknown name (Paris, XYZ) is refused, exit\n"
    "                    code 2.\n"
    "                    --clock-error: how far the camera's clock was ahead of the true time, SS,\n"
    "                    MM:SS, HH:MM:SS or D HH:MM:SS, signed, with fractions (+1:02:03: the camera\n"
    "                    was 1 h 2 min 3 s ahead).\n"
    "                    --max-gap: largest gap between two interpolated points (1800 s); beyond,\n"
    "                    or between two segments, the nearest point within --max-distance (1800 s;\n"
    "                    0: never). --replace: also places the photos already geotagged.\n"
    "                    Without --force, an existing « # » copy is never replaced (state kept).\n"
    "                    --sidecar, --short-sidecar-name: XMP sidecars instead of copies, as for\n"
    "                    write.\n"
    "                    --dry-run: writes nothing. --with-place: each copy also names its\n"
    "                    position's place (see write).\n"
    "                    One line per photo: path, state (written, would-write, ambiguous-time,\n"
    "                    kept, no-time, outside-track, already-geotagged, failed), latitude and\n"
    "                    longitude in decimal degrees with a point (9 decimals), altitude in metres,\n"
    "                    corrected UTC time (YYYY-MM-DDTHH:MM:SS[.fff]Z), the copy's path; fields\n"
    "                    empty when they do not exist. ambiguous-time: the time falls in the hour\n"
    "                    repeated by a change of summer time; the photo is placed at the first of\n"
    "                    the two instants and its copy written (--tz ±HH:MM chooses the other).\n"
    "                    Exit codes: 0 every photo placed, 1 photos not placed or unreadable,\n"
    "                    2 wrong arguments or unreadable track (nothing is written), 3 a copy could\n"
    "                    not be written or already existed.\n"
    "  --help            Prints this help (in French).\n"
    "  COMMAND --help    Prints the command's help.\n"
    "  --version         Prints the program's version.\n"
    "\n"
    "In every field, tab, line feed and backslash are written \\t, \\n and \\\\, the other control\n"
    "characters \\xNN: each line stays one line. A byte of a file name that is not UTF-8 is written\n"
    "\\xNN, and such a name may be given as it is.\n"
    "The photos' names on standard error are written the same way.\n"
    "Numbers use the decimal separator of the user's language.\n"
    "Exit codes: 0 every photo read, 1 at least one photo unreadable, 2 wrong command or\n"
    "arguments.\n"
    "\n"
    "Files:\n"
    "  ~/.config/vantorel/vantorel.ini\n"
    "                    The window's map settings, read by map and overview, group [maps]:\n"
    "                    googleMapsKey (Google Maps key, or VANTOREL_GOOGLE_MAPS_KEY), tileUrl and\n"
    "                    tileAttribution (tile server). See vantorel(1).\n"
    "\n"
    "Examples:\n"
    "  vantorel-cli coords ~/Photos/*.jpg\n"
    "                    The coordinates of every photo of a folder.\n"
    "  vantorel-cli write IMG_0042.jpg 48.8584 2.2945\n"
    "                    Writes « #IMG_0042.jpg », geotagged at the Eiffel Tower.\n"
    "  vantorel-cli gpx -o photos.gpx ~/Photos/*.jpg\n"
    "                    The GPX file of the geotagged photos of a folder.\n";

const char* const kSummary = "lit et réécrit le géocodage GPS de photos sans fenêtre";
const char* const kSummaryEnglish = "read and rewrite the GPS geotag of photos without a window";

// Where the descriptions start in the help's list of commands.
constexpr int kDescriptionColumn = 20;

// The help of one command, taken from the whole help: its entries (write has two), each as its usage
// then its description. Empty for a word that is no command.
QString commandHelp(const QString& help, const QString& command) {
    const QString entryStart = QStringLiteral("  ") + command + u' ';
    QString usage, description, text;
    const auto endEntry = [&] {
        if (!usage.isEmpty())
            text += QStringLiteral("Usage : vantorel-cli ") + usage.simplified() + u'\n' + description;
        usage.clear();
        description.clear();
    };
    bool inEntry = false;
    for (const QString& line : help.split(u'\n')) {
        qsizetype start = 0;
        while (start < line.size() && line[start] == u' ')
            ++start;
        if (start == line.size()) start = 0; // an empty line ends the list
        if (start == 2) {
            endEntry();
            inEntry = line.startsWith(entryStart);
        } else if (start < 2) {
            endEntry();
            inEntry = false;
        }
        if (!inEntry) continue;
        // A usage may go on over several lines; its description starts at the column, after a gap.
        const bool described = line.size() > kDescriptionColumn && line[kDescriptionColumn - 1] == u' ' &&
                               line[kDescriptionColumn - 2] == u' ' && line[kDescriptionColumn] != u' ';
        const QString before = described ? line.left(kDescriptionColumn) : line;
        if (!before.trimmed().isEmpty()) usage += u' ' + before.trimmed();
        if (described) description += QStringLiteral("  ") + line.mid(kDescriptionColumn) + u'\n';
    }
    endEntry();
    return text;
}

// Whether the words ask for the command's help: "--help" or "-h" among its words before "--".
bool asksForHelp(const Arguments& words) {
    for (qsizetype i = 0; i < words.size(); ++i) {
        const QString word = words.at(i);
        if (word == vantorel::cli::kEndOfOptions) return false;
        if (word == QLatin1String("--help") || word == QLatin1String("-h")) return true;
    }
    return false;
}

// Every command's standard output is checked once it is done: a full disk or a closed pipe is
// said, with exit code 3, never taken for success.
int checkedStandardOutput(int code, const QString& command, QTextStream& out, QTextStream& err) {
    out.flush();
    if (out.status() == QTextStream::Ok && std::fflush(stdout) == 0 && !std::ferror(stdout)) return code;
    err << command << QStringLiteral(" : écriture sur la sortie standard impossible\n");
    err.flush();
    return 3;
}

int runCommand(const QString& command, const Arguments& photos, QTextStream& out, QTextStream& err) {
    if (command == QLatin1String("coords")) return vantorel::cli::runCoords(photos, out, err);
    if (command == QLatin1String("poi")) return vantorel::cli::runPoi(photos, out, err);
    if (command == QLatin1String("gpx")) return vantorel::cli::runGpx(photos, out, err);
    if (command == QLatin1String("place")) return vantorel::cli::runPlace(photos, out, err);
    const QStringList args = photos.toList();
    if (command == QLatin1String("exif")) return vantorel::cli::runExif(args, out, err);
    if (command == QLatin1String("write")) return vantorel::cli::runWrite(args, out, err);
    if (command == QLatin1String("erase")) return vantorel::cli::runErase(args, out, err);
    if (command == QLatin1String("map")) return vantorel::cli::runMap(args, out, err);
    if (command == QLatin1String("overview")) return vantorel::cli::runOverview(args, out, err);
    if (command == QLatin1String("correlate")) return vantorel::cli::runCorrelate(args, out, err);
    if (command == QLatin1String("parse")) return vantorel::cli::runParse(args, out, err);
    return -1;
}

} // namespace

int main(int argc, char** argv) {
    // Only the command is decoded here; each command decodes the words after it (Arguments), so that
    // a long list of photos is not held a second time before the first is read.
    const Arguments words(argv + 1, argc - 1);
    const QString first = words.isEmpty() ? QString() : words.at(0);
    QTextStream out(stdout);
    QTextStream err(stderr);
    out.setEncoding(QStringConverter::Utf8);
    err.setEncoding(QStringConverter::Utf8);

    // Without a command, the help goes where errors go: a script's output stays clean.
    if (words.isEmpty()) {
        err << QString::fromUtf8(kHelp);
        return 2;
    }
    if (first == QLatin1String("--help") || first == QLatin1String("-h")) {
        out << QString::fromUtf8(kHelp);
        return checkedStandardOutput(0, first, out, err);
    }
    if (first == QLatin1String("--version")) {
        out << vantorel::versionLine(QStringLiteral("vantorel-cli"),
                                     QString::fromLatin1(vantorel::buildCommit()))
            << QStringLiteral("\n");
        return 0;
    }
    // The build writes the manual pages with this ("--manual-page en": English), from the help texts above.
    if (const std::optional<bool> english = vantorel::manualPageInEnglish(argc, argv)) {
        out << vantorel::helpToManualPage({QStringLiteral("vantorel-cli"),
                                           QString::fromUtf8(*english ? kSummaryEnglish : kSummary),
                                           QStringLiteral("Vantorel ") + vantorel::programVersion(),
                                           QStringLiteral("vantorel(1)"), vantorel::manualDate(), *english},
                                          QString::fromUtf8(*english ? kHelpEnglish : kHelp));
        return 0;
    }
    // The texts above need no application object: a script asking for the help or the version
    // does not pay its start-up.
    // The application sees the program's name alone: it would take out of argv the words it knows
    // (its own options) while the commands read argv, and none of them is an option here.
    // A command reads and writes photo after photo, in buffers of much the same sizes: the memory
    // one photo freed is kept for the next, instead of going back to the system at each free and
    // coming back page by page (a fault per page, and the other cores' TLBs flushed at each shrink).
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    int programNameOnly = 1;
    QCoreApplication app(programNameOnly, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vantorel-cli"));
    const QString& command = first;
    const Arguments photos = words.from(1);
    if (const QString help = commandHelp(QString::fromUtf8(kHelp), command);
        !help.isEmpty() && asksForHelp(photos)) {
        out << help;
        return checkedStandardOutput(0, command, out, err);
    }
    if (const int code = runCommand(command, photos, out, err); code >= 0)
        return checkedStandardOutput(code, command, out, err);
    err << QStringLiteral("Commande inconnue : ") << vantorel::escapeCell(command) << QStringLiteral("\n")
        << QStringLiteral("Voir : vantorel-cli --help\n");
    return 2;
}
