;;; emacs_test.el --- wyn-mode and eglot against `wyn lsp', as a user drives them  -*- lexical-binding: t -*-

;; wyn-mode set up as a user would (wyn-mode.el and the wyn-words.el that
;; `wyn export --format=emacs' writes, side by side in a folder), on a
;; real-looking script: the faces at chosen points, the syntax corners
;; the plug-in reads its own way, imenu, moving by routine, indentation,
;; comment commands; then eglot connected to the server: a definition, a
;; completion, Enter's indentation, formatting and the hover text.
;;
;; Run: emacs --batch -l tests/lsp/emacs_test.el
;; WYN_LSP names the server command (default: build/linux/wyn lsp); its
;; first word is the tool.  Prints "emacs: N passed, M failed" and exits 0
;; only when every check passed.

;;; Code:

(require 'cl-lib)
(require 'imenu)

(setq print-escape-newlines t)  ; a case's text on one line of the log

(defvar wyn-test-root
  (file-name-directory
   (directory-file-name (file-name-directory (directory-file-name (file-name-directory load-file-name))))))

(defvar wyn-test-tool
  (let ((cmd (split-string (or (getenv "WYN_LSP") "") " " t)))
    (if cmd (car cmd) (expand-file-name "build/linux/wyn" wyn-test-root))))

(defvar wyn-test-passed 0)
(defvar wyn-test-failed 0)
(defvar wyn-test-dir (make-temp-file "wyn-emacs-" t))

(defun wyn-test-check (name fn)
  "Run FN as the check NAME; an error in it fails the check."
  (condition-case err
      (progn (funcall fn)
             (setq wyn-test-passed (1+ wyn-test-passed))
             (princ (format "ok   %s\n" name)))
    (error (setq wyn-test-failed (1+ wyn-test-failed))
           (princ (format "FAIL %s: %s\n" name (error-message-string err))))))

(defun wyn-test-eq (got want what)
  (unless (equal got want)
    (error "%s: got %S, want %S" what got want)))

(defun wyn-test-wait (pred what &optional seconds)
  "Wait for PRED, reading the server's output, at most SECONDS (10)."
  (let ((deadline (+ (float-time) (or seconds 10))))
    (while (and (not (funcall pred)) (< (float-time) deadline))
      (accept-process-output nil 0.05))
    (unless (funcall pred) (error "no %s within %ss" what (or seconds 10)))))

(defun wyn-test-finish ()
  (princ (format "emacs: %d passed, %d failed\n" wyn-test-passed wyn-test-failed))
  (ignore-errors (delete-directory wyn-test-dir t))
  (kill-emacs (if (zerop wyn-test-failed) 0 1)))

;;;; The set-up: the mode and its words in one folder, loaded from there

(defvar wyn-test-lisp (expand-file-name "lisp" wyn-test-dir))
(make-directory wyn-test-lisp)
(copy-file (expand-file-name "editors/emacs/wyn-mode.el" wyn-test-root)
           (file-name-as-directory wyn-test-lisp))
(unless (zerop (call-process wyn-test-tool nil nil nil "export" "--format=emacs"
                             "-o" (expand-file-name "wyn-words.el" wyn-test-lisp)))
  (princ "emacs: wyn export --format=emacs failed\n")
  (wyn-test-finish))
(add-to-list 'load-path wyn-test-lisp)
(require 'wyn-mode)
(setq wyn-program wyn-test-tool)

;; A script as they come: CR LF line ends, a comment in GBK, an include, a
;; routine commented out both ways, an indented header.
(defconst wyn-test-script
  (concat "// Setup script \u8bbe\u7f6e\u7a0b\u5e8f\n"
          "#include \"x.h\"\n"
          "\n"
          "STRING szName;\n"
          "NUMBER nCount;\n"
          "\n"
          "prototype ShowIt(STRING);\n"
          "\n"
          "/*\n"
          "function Dead(n)\n"
          "begin\n"
          "end;\n"
          "*/\n"
          "// function Old(n)\n"
          "\n"
          "function ShowIt(szMsg)\n"
          "begin\n"
          "    nCount = 0x1F + 12;\n"
          "    nCount = messagebox + MessageBoxX;\n"
          "    MessageBox(szMsg, INFORMATION);\n"
          "end;\n"
          "\n"
          "  function Indented(n)\n"
          "  begin\n"
          "      if (n > 0) then\n"
          "          ShowIt(\"hello\");\n"
          "      endif;\n"
          "  end;\n"
          "\n"
          "program\n"
          "    ShowIt(szName);\n"
          "    Indented(1);\n"
          "endprogram\n"))

;; Upper-case extension: the mode comes from auto-mode-alist all the same.
(defvar wyn-test-file (expand-file-name "Setup.WYN" wyn-test-dir))
(let ((coding-system-for-write 'chinese-gbk-dos))
  (write-region wyn-test-script nil wyn-test-file nil 'silent))
(defvar wyn-test-buffer
  (let ((coding-system-for-read 'chinese-gbk)) (find-file-noselect wyn-test-file)))
(set-buffer wyn-test-buffer)
(switch-to-buffer wyn-test-buffer)
(font-lock-ensure)

(defun wyn-test-at (needle &optional offset)
  "Position of the first NEEDLE in the buffer, plus OFFSET."
  (save-excursion
    (goto-char (point-min))
    (let ((case-fold-search nil))
      (unless (search-forward needle nil t) (error "%S is not in the buffer" needle)))
    (+ (match-beginning 0) (or offset 0))))

(defun wyn-test-face (pos)
  (let ((f (get-text-property pos 'face))) (if (listp f) (car f) f)))

(wyn-test-check "the file opens in wyn-mode, CR LF read as line ends"
  (lambda ()
    (wyn-test-eq major-mode 'wyn-mode "mode")
    (wyn-test-eq (coding-system-eol-type buffer-file-coding-system) 1 "eol type (dos)")
    (wyn-test-eq (wyn-test-at "\u8bbe") (wyn-test-at "// Setup" 16) "GBK comment decoded")))

;; Faces at chosen points: (NAME NEEDLE OFFSET FACE).
(dolist (case '(("reserved word" "STRING szName" 0 font-lock-keyword-face)
                ("directive" "#include" 1 font-lock-keyword-face)
                ("constant" "INFORMATION" 0 font-lock-constant-face)
                ("built-in function" "MessageBox(szMsg" 0 font-lock-builtin-face)
                ("GBK comment" "// Setup" 3 font-lock-comment-face)
                ("comment after GBK" "\u7a0b" 0 font-lock-comment-face)
                ("string" "\"hello\"" 1 font-lock-string-face)
                ("include path" "\"x.h\"" 1 font-lock-string-face)
                ("hex number" "0x1F" 2 wyn-number-face)
                ("number" "12;" 1 wyn-number-face)
                ("a word in another case" "messagebox" 0 nil)
                ("a longer word" "MessageBoxX" 0 nil)
                ("a variable" "szName;" 0 nil)
                ("a routine's name" "ShowIt(szMsg)" 0 nil)))
  (wyn-test-check (format "face: %s" (car case))
    (lambda ()
      (wyn-test-eq (wyn-test-face (wyn-test-at (nth 1 case) (nth 2 case))) (nth 3 case)
                   (nth 1 case)))))

(wyn-test-check "face: the routines commented out are comment throughout"
  (lambda ()
    (dolist (span (list (cons (wyn-test-at "/*\n") (wyn-test-at "*/\n" 2))
                        (cons (wyn-test-at "// function") (wyn-test-at "(n)\n\nfunction" 3))))
      (cl-loop for p from (car span) below (cdr span)
               unless (memq (wyn-test-face p)
                            '(font-lock-comment-face font-lock-comment-delimiter-face))
               do (error "%d (%c) is %S" p (char-after p) (wyn-test-face p))))))

;; Where the plug-in reads strings, comments, words and numbers its own
;; way: (TEXT NEEDLE FACE), the face at NEEDLE's first character.
(dolist (case '(("x = \"a\\\"b\"; y = 1;" "1;" wyn-number-face)
                ("x = \"open\ny = 2;" "2;" wyn-number-face)
                ("x = 'back\\\ny = 3;" "3;" wyn-number-face)
                ("/*/ y = 4;" "4;" wyn-number-face)
                ("//*/ y = 4;" "4;" font-lock-comment-face)
                ("x = 5_;" "5" nil)
                ("x = 12L;" "L" wyn-number-face)
                ("x = a1;" "1" nil)
                ("a=MessageBox(b);" "MessageBox" font-lock-builtin-face)
                ("a.MessageBox(b);" "MessageBox" nil)
                ("#define X if" "if" font-lock-keyword-face)))
  (wyn-test-check (format "syntax: %S" (car case))
    (lambda ()
      (with-temp-buffer
        (wyn-mode)
        (insert (car case))
        (font-lock-ensure)
        (wyn-test-eq (wyn-test-face (wyn-test-at (nth 1 case))) (nth 2 case) (nth 1 case))))))

(wyn-test-check "imenu lists the live routines only"
  (lambda ()
    (wyn-test-eq (mapcar #'car (funcall imenu-create-index-function))
                 '("ShowIt" "Indented") "routines")))

(wyn-test-check "beginning-of-defun finds an indented header"
  (lambda ()
    (save-excursion
      (goto-char (wyn-test-at "ShowIt(\"hello\")"))
      (beginning-of-defun)
      (wyn-test-eq (point) (wyn-test-at "  function Indented") "point"))))

;; Indentation: (TEXT COLUMN), the last line's indentation after TAB.
(dolist (case '(("begin\nx;" 4)
                ("  if (a) then\nx;" 6)
                ("if (a) goto done;\n  x;" 0)
                ("    while (a)\n    x;\nendwhile;" 0)
                ("  while (a)\nendwhile;" 2)
                ("switch (n)\ncase 1:" 0)
                ("// if (a) then\nx;" 0)))
  (wyn-test-check (format "indent: %S" (car case))
    (lambda ()
      (with-temp-buffer
        (wyn-mode)
        (setq indent-tabs-mode nil tab-width 4)
        (insert (car case))
        (indent-for-tab-command)
        (wyn-test-eq (current-indentation) (nth 1 case) "column")))))

(wyn-test-check "M-; comments a line with //"
  (lambda ()
    (with-temp-buffer
      (wyn-mode)
      (insert "x = 1;")
      (comment-region (point-min) (point-max))
      (wyn-test-eq (buffer-string) "// x = 1;" "text"))))

(wyn-test-check "wyn-plugin-colours remaps the faces to the editor's colours"
  (lambda ()
    (with-temp-buffer
      (let ((wyn-plugin-colours t)) (wyn-mode))
      (dolist (pair '((keyword . font-lock-keyword-face) (number . wyn-number-face)))
        (wyn-test-eq (cadr (assq (cdr pair) face-remapping-alist))
                     (list :foreground (cdr (assq (car pair) wyn-words-colours)))
                     (cdr pair))))))

(wyn-test-check "without wyn-words.el: comments still coloured, a hint how to make it"
  (lambda ()
    (let ((bare (expand-file-name "bare" wyn-test-dir)))
      (make-directory bare)
      (copy-file (expand-file-name "wyn-mode.el" wyn-test-lisp) (file-name-as-directory bare))
      (with-temp-buffer
        (call-process (expand-file-name invocation-name invocation-directory) nil t nil
                      "--batch" "-Q" "-l" (expand-file-name "wyn-mode.el" bare) "--eval"
                      "(with-temp-buffer (wyn-mode) (insert \"// c\\nMessageBox(1);\")
                         (font-lock-ensure)
                         (princ (format \"faces %S %S\\n\" (get-text-property 4 'face)
                                        (get-text-property 6 'face))))")
        (let ((out (buffer-string)))
          (unless (string-match-p "faces font-lock-comment-face nil" out)
            (error "faces: %s" out))
          (unless (string-match-p "export --format=emacs" out)
            (error "no hint: %s" out)))))))

;; Agreement with the plug-in itself: the category `wyn colour' gives each
;; character of a script, against the face wyn-mode gives it. Operators
;; are the plug-in's only category wyn-mode leaves to the theme.

(defun wyn-test-reference (file)
  "The category `wyn colour' gives each character of FILE, CRs left out."
  (with-temp-buffer
    (let ((coding-system-for-read 'utf-8-unix))
      (unless (zerop (call-process wyn-test-tool nil t nil "colour" "--no-config"
                                   "--html-fragment" "--encoding=utf-8" file))
        (error "wyn colour failed: %s" (buffer-string))))
    (goto-char (point-min))
    (search-forward ">")
    (let ((end (save-excursion (goto-char (point-max)) (search-backward "</pre>")))
          stack out)
      (while (re-search-forward
              "<a class=\"ln\"[^>]*>[0-9]+</a>\\|<span class=\"wyn-\\([a-z]+\\)\">\\|</span>\\|<[^>]+>\\|&[a-z#0-9]+;\\|[^<&]+"
              end t)
        (let ((tok (match-string 0)))
          (cond ((match-beginning 1) (push (intern (match-string 1)) stack))
                ((equal tok "</span>") (pop stack))
                ((string-prefix-p "<" tok))
                ((string-prefix-p "&" tok) (push (car stack) out))
                (t (dotimes (_ (length tok)) (push (car stack) out))))))
      (nreverse out))))

(defun wyn-test-category (pos)
  (pcase (wyn-test-face pos)
    ((or 'font-lock-comment-face 'font-lock-comment-delimiter-face) 'comment)
    ('font-lock-constant-face 'constant)
    ('font-lock-keyword-face 'keyword)
    ('font-lock-builtin-face 'function)
    ('font-lock-string-face 'string)
    ('wyn-number-face 'number)))

;; The examples, the script above and two generated ones, when the
;; generator is built beside the tool.
(defvar wyn-test-generator (expand-file-name "wyn_gen" (file-name-directory wyn-test-tool)))
(defvar wyn-test-generated
  (when (file-executable-p wyn-test-generator)
    (mapcar (lambda (seed)
              (let ((file (expand-file-name (format "gen%s.wyn" seed) wyn-test-dir)))
                (with-temp-file file
                  (set-buffer-multibyte nil)
                  (call-process wyn-test-generator nil t nil "40000" seed "real"))
                file))
            '("1" "7"))))

(dolist (file (append (directory-files (expand-file-name "examples" wyn-test-root) t "\\.wyn\\'")
                      (list wyn-test-file) wyn-test-generated))
  (wyn-test-check (format "agrees with wyn colour: %s" (file-name-nondirectory file))
    (lambda ()
      (let ((theirs (wyn-test-reference file)) (wrong 0) first)
        (with-temp-buffer
          (let ((coding-system-for-read 'utf-8-unix)) (insert-file-contents file))
          (goto-char (point-min))
          (while (search-forward "\r" nil t) (replace-match ""))
          (wyn-mode)
          (font-lock-ensure)
          (wyn-test-eq (length theirs) (1- (point-max)) "characters")
          (cl-loop for pos from 1 below (point-max)
                   for want in theirs
                   for got = (wyn-test-category pos)
                   unless (or (eq (char-after pos) ?\n) (eq want 'operator) (eq got want))
                   do (setq wrong (1+ wrong))
                   (unless first
                     (setq first (format "line %d: %S, want %S" (line-number-at-pos pos) got want)))))
        (unless (zerop wrong) (error "%d characters differ, first at %s" wrong first))))))

;;;; eglot, connected to the server

(unless (require 'eglot nil t)
  (package-initialize)
  (require 'eglot nil t))

(defun wyn-test-server-ready ()
  (and (featurep 'eglot) (eglot-current-server) eglot--managed-mode))

(wyn-test-check "eglot starts `wyn lsp' for wyn-mode"
  (lambda ()
    (unless (featurep 'eglot) (error "eglot is not installed"))
    (apply #'eglot--connect (eglot--guess-contact))
    (wyn-test-wait #'wyn-test-server-ready "connection" 20)))

(when (wyn-test-server-ready)
  (wyn-test-check "xref-find-definitions jumps to the routine's definition"
    (lambda ()
      (goto-char (wyn-test-at "ShowIt(szName)" 2))
      (xref-find-definitions (xref-backend-identifier-at-point (xref-find-backend)))
      (wyn-test-eq (current-buffer) wyn-test-buffer "buffer")
      (wyn-test-eq (buffer-substring (line-beginning-position) (line-end-position))
                   "function ShowIt(szMsg)" "line")))

  (wyn-test-check "completion-at-point offers a built-in function"
    (lambda ()
      (goto-char (wyn-test-at "    Indented(1);" 16))
      (insert "\n    MessageB")
      (let ((capf (eglot-completion-at-point)))
        (unless capf (error "no completion here"))
        (unless (member "MessageBox" (all-completions "MessageB" (nth 2 capf)))
          (error "MessageBox not offered: %S"
                 (all-completions "MessageB" (nth 2 capf)))))
      (delete-region (line-beginning-position 0) (point))))

  ;; Eglot 1.9 asks for on-type formatting only when the event typed is
  ;; the newline character itself, which RET is not: Enter's indentation
  ;; comes from electric-indent and wyn-mode, formatting from the server.
  (wyn-test-check "RET after a block opener indents the new line"
    (lambda ()
      (setq indent-tabs-mode nil tab-width 4)
      (goto-char (wyn-test-at "      if (n > 0) then" 21))
      (execute-kbd-macro (kbd "RET"))
      (wyn-test-eq (current-indentation) 10 "indentation of the new line")
      (delete-region (line-end-position 0) (line-end-position))))

  (wyn-test-check "eglot-format re-indents a line through the server"
    (lambda ()
      (setq indent-tabs-mode nil tab-width 4)
      (goto-char (wyn-test-at "    MessageBox(szMsg"))
      (delete-horizontal-space)
      (eglot-format (line-beginning-position) (line-end-position))
      (wyn-test-eq (buffer-substring (line-beginning-position) (line-end-position))
                   "    MessageBox(szMsg, INFORMATION);" "line")))

  (wyn-test-check "hover (eldoc) is plain text"
    (lambda ()
      (goto-char (wyn-test-at "MessageBox(szMsg" 3))
      (eglot--signal-textDocument/didChange)  ; what a pause in typing sends
      (let (doc)
        (eglot-hover-eldoc-function (lambda (info &rest _) (setq doc (or info ""))))
        (wyn-test-wait (lambda () doc) "hover")
        (unless (string-match-p "MessageBox (szMsg, nType);" doc) (error "hover: %S" doc))
        (when (string-match-p "```\\|`" doc) (error "markdown in %S" doc)))))

  (ignore-errors (let ((eglot-autoshutdown nil)) (eglot-shutdown (eglot-current-server)))))

(set-buffer-modified-p nil)
(wyn-test-finish)

;;; emacs_test.el ends here
