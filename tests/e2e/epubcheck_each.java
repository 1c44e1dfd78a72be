// Runs epubcheck on each EPUB named on the command line in one Java virtual
// machine, which saves its start-up and warm-up for every file after the
// first. Each file's report is framed by "=== <file>" and "=== exit <code>";
// the error stream goes to standard output so that messages stay in order.
//
// usage: java -cp /usr/share/java/epubcheck.jar epubcheck_each.java FILE...

import com.adobe.epubcheck.tool.EpubChecker;

class EpubcheckEach {
    public static void main(String[] args) {
        System.setErr(System.out);
        for (String file : args) {
            System.out.println("=== " + file);
            System.out.flush();
            int code = new EpubChecker().run(new String[] {file});
            System.out.println("=== exit " + code);
            System.out.flush();
        }
    }
}
